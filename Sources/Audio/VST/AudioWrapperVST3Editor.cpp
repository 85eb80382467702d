// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VST/AudioWrapperVST3Editor.h"

#include <cstring>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Audio/VST/RunLoopVST3.h"
#include "Core/AppData.h"
#include "Core/Application.h"
#include "Core/ClassRegistry.h"
#include "Core/MemoryStream.h"
#include "Core/Notify.h"
#include "Core/XMLData.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "AudioWrapperVST3Editor"

namespace zel {

using namespace Steinberg;

namespace {

const char* const kPlatformType = "X11EmbedWindowID";

const CObject* project() {
    const CObject* shared = CApplication::sharedObject();
    return shared ? shared->findChild("project") : nullptr;
}

// The UI scale setting ("ui.local-data.ui-scale") as its store keeps it, for
// the size a host asks for before the editor exists; 1 while none is stored.
double storedUiScale() {
    std::vector<uint8_t> bytes;
    if (CAppDataLocal::instance().readItem("ui-scale", bytes, makeTag("dstr"))) return 1.0;
    CMemoryReader reader(std::move(bytes));
    CString text;
    double scale = 1.0;
    if (reader.readString(text) || !parseReal(text, scale)) return 1.0;
    return clampUiScale(scale);
}

}  // namespace

CAudioWrapperVST3Editor::CAudioWrapperVST3Editor(CAudioWrapperVST3& wrapper) : m_wrapper(wrapper) {
    const CObject* p = project();
    // With resizing off the minimum is the fixed size, at the UI scale the
    // editor will open with.
    const double scale = storedUiScale();
    m_minWidth = scaledPixels(double(p ? p->getInt("window-width", 540) : 540), scale);
    m_minHeight = scaledPixels(double(p ? p->getInt("window-height", 315) : 315), scale);
    ViewRect r(0, 0, m_minWidth, m_minHeight);
    setRect(r);
    m_wrapper.addRef();
}

CAudioWrapperVST3Editor::~CAudioWrapperVST3Editor() {
    releaseEditor();
    m_wrapper.release();
}

tresult PLUGIN_API CAudioWrapperVST3Editor::isPlatformTypeSupported(FIDString type) {
    return type && std::strcmp(type, kPlatformType) == 0 ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::attached(void* parent, FIDString type) {
    if (isPlatformTypeSupported(type) != kResultTrue || !parent) return kResultFalse;
    // A second attach while the tree exists builds nothing new.
    if (m_root) return kResultOk;
    if (!buildEditor(parent)) return kResultFalse;
    return CPluginView::attached(parent, type);
}

bool CAudioWrapperVST3Editor::buildEditor(void* parent) {
    m_loop = CRunLoopVST3::fromFrame(plugFrame);
    if (!m_loop) {
        CSystem::showError(
            *ZEL_ERROR("@zelstr_CAudioWrapperVST3Editor_attached_RunLoop "
                       "The host offers no run loop (Linux IRunLoop) for the editor."));
        return false;
    }
    auto root = std::make_unique<CEditorRoot>(*m_loop, m_wrapper.plugin().findChild("interface-base-connector"));
    root->setClassInfo(CClassRegistry::instance().find("core:object"));
    CErrorPtr err = CApplication::instance()->initRootObject(*root);
    if (!err) {
        root->setBool("IsVST3", true);
        root->setInt("ParentWindow", static_cast<long long>(reinterpret_cast<uintptr_t>(parent)));
        root->setAttr("plugin-tech", "VST3 PlugIn Technology by Steinberg");
        err = CXMLData::load("UserInterface.xml", *root);
    }
    if (!err) err = root->init();
    CWindowRenderer* window = nullptr;
    if (!err) err = root->findObjectChecked("ui.main-window.window-renderer", window);
    if (err) {
        CSystem::showError(*err);
        root.reset();
        m_loop.reset();
        return false;
    }
    m_root = std::move(root);
    m_window = window;
    // The window's own size wins: the setting may have been read from
    // elsewhere than the store. The host is asked to follow.
    if (const auto* view = dynamic_cast<const CView*>(window->parent())) {
        const CRect& area = view->area();
        m_minWidth = area.width();
        m_minHeight = area.height();
        if (area.width() != getRect().getWidth() || area.height() != getRect().getHeight()) {
            ViewRect r(rect.left, rect.top, rect.left + area.width(), rect.top + area.height());
            setRect(r);
            if (plugFrame) plugFrame->resizeView(this, &r);
        }
    }
    return true;
}

void CAudioWrapperVST3Editor::releaseEditor() {
    m_window = nullptr;
    // The tree closes its windows and timers; the loop then unregisters
    // whatever is left with the host.
    m_root.reset();
    m_loop.reset();
}

tresult PLUGIN_API CAudioWrapperVST3Editor::removed() {
    releaseEditor();
    return CPluginView::removed();
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onWheel(float distance) {
    if (!m_window) return kResultFalse;
    return m_window->wheelStep(distance >= 0 ? 1 : -1) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onKeyDown(char16, int16, int16) {
    // The host keeps its shortcuts; the editor takes keys through its window.
    return kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::onKeyUp(char16, int16, int16) { return kResultFalse; }

tresult PLUGIN_API CAudioWrapperVST3Editor::onSize(ViewRect* newSize) {
    // Hosts may resize before they set the frame or attach: only recorded.
    return CPluginView::onSize(newSize);
}

tresult PLUGIN_API CAudioWrapperVST3Editor::canResize() {
    const CObject* p = project();
    return p && p->getBool("use-window-resizing", false) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CAudioWrapperVST3Editor::checkSizeConstraint(ViewRect* r) {
    if (!r) return kInvalidArgument;
    if (r->right - r->left < m_minWidth) r->right = r->left + m_minWidth;
    if (r->bottom - r->top < m_minHeight) r->bottom = r->top + m_minHeight;
    return kResultTrue;
}

}  // namespace zel
