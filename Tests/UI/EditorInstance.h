// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An editor tree of a real plug-in instance, without a window: the "ui"
// event bridge with the client of the instance's interface base and a
// test document's body below it.

#include <memory>
#include <string>

#include "Audio/AudioWrapper.h"
#include "Audio/ParamDef.h"
#include "Other/AudioInterfaceBase.h"
#include "UI/ParamLink.h"
#include "UITestSupport.h"

namespace zel::test {

class CTestInstance final : public CAudioWrapper {
public:
    void reportExtParam(size_t, double) override {}
    void beginExtParamEdit(size_t) override {}
    void performExtParamEdit(size_t, double) override {}
    void endExtParamEdit(size_t) override {}
    size_t extIndex(const char* title) const {
        for (size_t i = 0; i < extParamCount(); ++i)
            if (extParam(i).extName() == title) return i;
        ADD_FAILURE() << "no host parameter " << title;
        return 0;
    }
    size_t undoCount() { return interfaceBase().undo().count(); }
};

// The editor's root as the VST3 view makes it: it sees the instance's tree
// and keeps the local settings in the instance.
class CInstanceRoot final : public CObject, public IRunLoopOwner, public IAppDataOwner {
public:
    explicit CInstanceRoot(CAudioWrapper& instance) : m_instance(instance) {}
    ~CInstanceRoot() override { removeAllChildren(); }
    platform::IRunLoop& ownRunLoop() override { return loop; }
    CObject* linkedTree() const override { return &m_instance.root(); }
    CAppDataInstance& instanceData() override { return m_instance.uiSettings(); }
    CUIEventBridge& ui() { return *dynamic_cast<CUIEventBridge*>(findChild("ui")); }
    platform::CStandaloneRunLoop loop;

private:
    CAudioWrapper& m_instance;
};

inline const char* kLinkHead = R"(<document>
  <ui:ui-event-bridge name="ui">
    <ui:window-shared-data name="window-shared-data"><ui:window-closer name="window-closer"/></ui:window-shared-data>
    <other:param-interface-client-connector-uni name="interface-client-connector"
                                                base-connector="plugin.interface-base-connector"/>
    <audio:interface-client name="interface-client" client-connector="ui.interface-client-connector" fps="0"/>
    <core:object name="local-data">
      <core:shared-attribute name="ui-scale" attribute="scale" is-global="false" def-value="1.0"/>
    </core:object>
    <ui:param-bridge name="bypass-bridge" param="plugin.modMain.bypass-enable"/>
    <ui:param-bridge name="offline-bridge" param="plugin.modMain.host-offline"/>
    <ui:param-bridge name="adelay-bridge" param="plugin.modMain.modLagwell.adelay"/>
    <ui:param-bridge name="mode-bridge" param="plugin.modMain.modLagwell.delay-time-mode"/>
)";

// Builds the head, `body` and the closing tags below `root`.
inline CErrorPtr buildEditor(CInstanceRoot& root, const std::string& body) {
    registerRecorder();
    root.setClassInfo(CClassRegistry::instance().find("core:object"));
    CErrorPtr err = CApplication::instance()->initRootObject(root);
    const std::string xml = kLinkHead + editorPalette() + body + "\n  </ui:ui-event-bridge>\n</document>";
    if (!err) err = CXMLData::loadFromMemory("link-test", compileDocument(xml, uniqueLeaf("link-test")), root);
    if (!err) err = root.init();
    return err;
}

}  // namespace zel::test
