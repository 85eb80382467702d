// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "Core/AppData.h"
#include "Core/Object.h"
#include "Core/Timer.h"
#include "public.sdk/source/common/pluginview.h"

namespace zel {

class CAudioWrapperVST3;
class CRunLoopVST3;
class CWindowRenderer;

// The root of an editor's object tree: it carries the host's facts
// (`IsVST3`, `ParentWindow`, `plugin-tech`), runs everything below it on
// the host's loop, sees the instance's tree ("plugin...") and keeps the
// editor's local settings in the instance.
class CEditorRoot final : public CObject, public IRunLoopOwner, public IAppDataOwner {
public:
    CEditorRoot(platform::IRunLoop& loop, CObject& instance, CAppDataInstance& settings)
        : m_loop(loop), m_instance(instance), m_settings(settings) {}
    // The tree goes while this is still its loop's owner: timers that its
    // release stops or restarts stay on the host's loop.
    ~CEditorRoot() override { removeAllChildren(); }
    platform::IRunLoop& ownRunLoop() override { return m_loop; }
    CObject* linkedTree() const override { return &m_instance; }
    CAppDataInstance& instanceData() override { return m_settings; }

private:
    platform::IRunLoop& m_loop;
    CObject& m_instance;
    CAppDataInstance& m_settings;
};

// The plug-in view that hosts show: the editor's main window, embedded
// into the host's X11 window.
class CAudioWrapperVST3Editor final : public Steinberg::CPluginView {
public:
    explicit CAudioWrapperVST3Editor(CAudioWrapperVST3& wrapper);
    ~CAudioWrapperVST3Editor() override;

    Steinberg::tresult PLUGIN_API isPlatformTypeSupported(Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API attached(void* parent, Steinberg::FIDString type) override;
    Steinberg::tresult PLUGIN_API removed() override;
    Steinberg::tresult PLUGIN_API onWheel(float distance) override;
    Steinberg::tresult PLUGIN_API onKeyDown(Steinberg::char16 key, Steinberg::int16 keyCode,
                                            Steinberg::int16 modifiers) override;
    Steinberg::tresult PLUGIN_API onKeyUp(Steinberg::char16 key, Steinberg::int16 keyCode,
                                          Steinberg::int16 modifiers) override;
    Steinberg::tresult PLUGIN_API onSize(Steinberg::ViewRect* newSize) override;
    Steinberg::tresult PLUGIN_API canResize() override;
    Steinberg::tresult PLUGIN_API checkSizeConstraint(Steinberg::ViewRect* rect) override;

    CObject* editorRoot() const { return m_root.get(); }
    CWindowRenderer* window() const { return m_window; }

private:
    // Builds the tree; on failure shows the error and leaves none.
    bool buildEditor(void* parent);
    void releaseEditor();

    CAudioWrapperVST3& m_wrapper;
    std::unique_ptr<CRunLoopVST3> m_loop;
    std::unique_ptr<CEditorRoot> m_root;
    CWindowRenderer* m_window = nullptr;
    int m_minWidth = 0, m_minHeight = 0;
};

}  // namespace zel
