// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Editor trees for the UI tests: a root with a loop of its own, built from
// a document, and an object that records the events it hears.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Core/Application.h"
#include "Core/ClassRegistry.h"
#include "Core/Notify.h"
#include "Core/Timer.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"

namespace zel::test {

class CLoopRoot final : public CObject, public IRunLoopOwner {
public:
    // The tree's timers and windows go while the loop still exists.
    ~CLoopRoot() override { removeAllChildren(); }
    platform::IRunLoop& ownRunLoop() override { return loop; }
    platform::CStandaloneRunLoop loop;
};

// `test:recorder`: records "tick" (by the sender's name) and every event
// it is subscribed to through "record".
class CRecorder : public CObject {
public:
    static void setupClass(CClassInfo& info) {
        setupObjectClass(info);
        info.onEvent("tick", &CRecorder::onTick);
        info.onEvent("record", &CRecorder::onRecord);
    }
    CErrorPtr onTick(CObject*, CObject* sender) {
        ticks.push_back(sender ? sender->name().utf8() : std::string());
        if (whenTicked) whenTicked(sender);
        return nullptr;
    }
    CErrorPtr onRecord(CObject* params, CObject*) {
        events.push_back(params->getAttr("event-name").utf8());
        last[events.back()] = CObject::CAttrMap(params->attrs());
        return nullptr;
    }
    bool heard(const std::string& event) const {
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    std::function<void(CObject* sender)> whenTicked;
    std::vector<std::string> ticks;
    std::vector<std::string> events;
    std::map<std::string, CObject::CAttrMap> last;
};

inline void registerRecorder() {
    static const CClassEntry entry{"test:recorder", &createObject<CRecorder>, &CRecorder::setupClass};
    if (!CClassRegistry::instance().find("test:recorder")) (void)CClassRegistry::instance().registerCreator(entry);
}

// A scratch name of this process's own: test processes run side by side.
inline std::string uniqueLeaf(const char* stem) {
    static int counter = 0;
    return std::string(stem) + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// The editor's colour roles as the plug-in's own document defines them,
// for test trees to draw with.
inline const std::string& editorPalette() {
    static const std::string block = [] {
        std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/UserInterface.xml");
        const std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t from = doc.find("<ui:dynamic-palette ");
        const std::string end = "</ui:dynamic-palette>";
        const size_t to = doc.find(end, from);
        if (from == std::string::npos || to == std::string::npos) return std::string();
        std::string palette = doc.substr(from, to + end.size() - from);
        // Test trees have no palette parameter.
        const std::string link = "<ui:ui-param name=\"ui-param-palette\" bridge=\"ui.uicolor-palette-bridge\"/>";
        if (const size_t at = palette.find(link); at != std::string::npos) palette.erase(at, link.size());
        return palette;
    }();
    return block;
}

// The roles and tones of a built-in colour scheme ("Gray", ...), as its text
// in Gfx/Presets/Palettes names them.
inline std::vector<std::pair<std::string, uint32_t>> schemeTones(const std::string& scheme) {
    std::ifstream in(LAGWELL_SOURCE_DIR "/Gfx/Presets/Palettes/" + scheme + ".txt");
    std::vector<std::pair<std::string, uint32_t>> tones;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string name, tone;
        if (line.empty() || line[0] == '#' || !(words >> name >> tone)) continue;
        tones.emplace_back(name, uint32_t(std::stoul(tone, nullptr, 16)));
    }
    EXPECT_FALSE(tones.empty()) << scheme;
    return tones;
}

// The shared part of every test document: the "ui" bridge with the window
// data, then `body`.
inline std::unique_ptr<CLoopRoot> buildTree(const std::string& body, CErrorPtr& err) {
    registerRecorder();
    auto root = std::make_unique<CLoopRoot>();
    root->setClassInfo(CClassRegistry::instance().find("core:object"));
    const std::string xml = R"(<document>
  <ui:ui-event-bridge name="ui">
    <ui:window-shared-data name="window-shared-data"><ui:window-closer name="window-closer"/></ui:window-shared-data>
    )" + editorPalette() + body +
                            R"(
  </ui:ui-event-bridge>
</document>)";
    err = CApplication::instance()->initRootObject(*root);
    if (!err) err = CXMLData::loadFromMemory("ui-test", compileDocument(xml, uniqueLeaf("ui-test")), *root);
    if (!err) err = root->init();
    return root;
}

}  // namespace zel::test
