// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "Core/Application.h"
#include "Core/ResourceReader.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

std::vector<uint8_t> embedded(const char* name) {
    const CEmbeddedResourceMap::CEntry* e = CEmbeddedResourceMap::instance().find(name);
    EXPECT_NE(e, nullptr) << name;
    return e ? std::vector<uint8_t>(e->data, e->data + e->size) : std::vector<uint8_t>();
}

size_t countObjects(const CObject& o) {
    size_t n = 1;
    for (const auto& c : o.children()) n += countObjects(*c);
    return n;
}

const char* kTestDocument = R"(<document>
  <core:object name="settings" title="Main" size="{?4}">
    <core:object name="inner" title="{/^ title} view" live="{*/^ title}"/>
    <template name="ui:local-item">
      <core:object kind="item" parent-title="{/^ title}"/>
    </template>
  </core:object>
  <template name="ui:global-item">
    <core:object kind="global"><content>Free text, kept as it stands.</content></core:object>
  </template>
  <core:attr-doubler name="dbl" target="settings settings.inner" attr="copied" value="{*/settings title}"/>
</document>)";

}  // namespace

TEST(Documents, SharedTreeHoldsTheShippedDocument) {
    CObject* shared = CApplication::sharedObject();
    ASSERT_NE(shared, nullptr);
    size_t whatsNew = 0;
    for (const auto& c : shared->children())
        if (c->name() == "whatsnew") {
            ++whatsNew;
            EXPECT_FALSE(c->getAttr("version").empty());
            EXPECT_FALSE(c->getAttr("date").empty());
            ASSERT_FALSE(c->children().empty());
            const CObject* content = c->children()[0]->findChild("content");
            ASSERT_NE(content, nullptr) << "a paragraph's text lives in its content child";
            EXPECT_FALSE(content->getAttr("value").empty());
        }
    EXPECT_EQ(whatsNew, 7u);
    CObject* project = shared->findObject("project");
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project->getAttr("plugin-intchannel-count"), "8");
    EXPECT_EQ(project->getAttr("uniform-latencies"), "768000=584");
    EXPECT_EQ(project->getAttr("plugin-category-vst3"), "Fx|Delay");
    EXPECT_EQ(project->getAttr("bin-name"), "");
    EXPECT_TRUE(project->hasAttr("bin-name"));
    EXPECT_EQ(project->getAttr("app-name"), "Lagwell");
    EXPECT_EQ(project->getAttr("app-vendor"), "Zelmora");
    const CString uuid = project->getAttr("plugin-uuid");
    ASSERT_EQ(uuid.length(), 36u);
    for (size_t i : {8, 13, 18, 23}) EXPECT_EQ(uuid.at(i), u'-');
    EXPECT_EQ(project->fullName(), "project");
}

TEST(Documents, PluginTemplateInstantiatesIntoAnInstanceTree) {
    const CTemplate* plugin = CApplication::sharedObject()->findTemplate("plugin");
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->classTag(), "core:object");
    CObject root;
    ASSERT_EQ(CApplication::instance()->initRootObject(root), nullptr);
    CObject* made = nullptr;
    ASSERT_EQ(root.createChild("plugin", "plugin", made), nullptr) << "a template wins over the class registry";
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->fullName(), "plugin");
    CObject* name = root.findObject("plugin.uicolor-name");
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->fullName(), "plugin.uicolor-name");
    EXPECT_EQ(name->getAttr("file"), "../uicolor-name|AppDataLocal_uicolor-name");
    EXPECT_EQ(root.init(), nullptr);
}

TEST(Documents, EmbeddedDocumentDecodesWithExactStructure) {
    std::vector<uint8_t> bytes = embedded("SharedData.xml");
    ASSERT_GT(bytes.size(), 8u);
    std::shared_ptr<const CDocument> doc;
    ASSERT_EQ(CDocument::decode("SharedData.xml", bytes, doc), nullptr);
    EXPECT_EQ(doc->string(0), "") << "index 0 is the empty string";
    EXPECT_EQ(doc->string(1), "core:object") << "index 1 is the first element's tag";
    // The root record: empty tag and name, an element, no attributes.
    EXPECT_EQ(doc->u16(doc->nodesStart()), 0);
    EXPECT_EQ(doc->u16(doc->nodesStart() + 2), 0);
    EXPECT_EQ(doc->bytes()[doc->nodesStart() + 4], 0);
    EXPECT_EQ(doc->u16(doc->nodesStart() + 5), 0);
    // A fresh load gives a tree equal in size to the shared one.
    CObject fresh;
    ASSERT_EQ(CXMLData::loadFromMemory("SharedData.xml", bytes, fresh), nullptr);
    EXPECT_EQ(countObjects(fresh), countObjects(*CApplication::sharedObject()));
}

TEST(Documents, ExpressionsTemplatesAndContentFromADocument) {
    CObject root;
    ASSERT_EQ(CApplication::instance()->initRootObject(root), nullptr);
    ASSERT_EQ(CXMLData::loadFromMemory("test", compileDocument(kTestDocument, "features"), root), nullptr);
    ASSERT_EQ(root.init(), nullptr);
    CObject* settings = root.findObject("settings");
    CObject* inner = root.findObject("settings.inner");
    ASSERT_TRUE(settings && inner);
    EXPECT_EQ(settings->getAttr("size"), "4");
    EXPECT_EQ(inner->getAttr("title"), "Main view");
    EXPECT_EQ(inner->getAttr("copied"), "Main") << "the doubler ran at init";

    settings->setAttr("title", "Other");
    EXPECT_EQ(inner->getAttr("live"), "Other");
    EXPECT_EQ(inner->getAttr("title"), "Main view");
    EXPECT_EQ(inner->getAttr("copied"), "Other") << "the doubler follows its live value";

    // A template declared inside an element is found from below it, not
    // from elsewhere; a top-level one from anywhere in the tree.
    CObject* item = nullptr;
    ASSERT_EQ(inner->createChild("ui:local-item", "it", item), nullptr);
    EXPECT_EQ(item->getAttr("kind"), "item");
    EXPECT_EQ(item->getAttr("parent-title"), "Main view");
    EXPECT_EQ(item->fullName(), "settings.inner.it");
    CObject* g = nullptr;
    EXPECT_NE(root.createFromTemplate("ui:local-item", "x", g), nullptr);
    ASSERT_EQ(inner->createFromTemplate("ui:global-item", "g", g), nullptr);
    const CObject* content = g->findChild("content");
    ASSERT_NE(content, nullptr);
    EXPECT_EQ(content->getAttr("value"), "Free text, kept as it stands.");
}

TEST(Documents, ElementsNamedByATemplateTagAreMadeFromIt) {
    const char* xml = R"(<document>
  <template name="ui:button">
    <core:object caption="OK" width="40" kind="button" label-text="{caption}">
      <core:object name="label" text="{/^ caption}"/>
    </core:object>
  </template>
  <core:object name="panel">
    <template name="ui:knob"><core:object kind="local-knob"/></template>
    <ui:button name="save" caption="Save" width="{/^ size?64}"><core:object name="extra"/></ui:button>
    <ui:knob name="gain"/>
  </core:object>
  <ui:button name="plain"/>
</document>)";
    CObject root;
    ASSERT_EQ(CApplication::instance()->initRootObject(root), nullptr);
    ASSERT_EQ(CXMLData::loadFromMemory("tagged", compileDocument(xml, "tagged"), root), nullptr);
    ASSERT_EQ(root.init(), nullptr);
    CObject* save = root.findObject("panel.save");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->getAttr("kind"), "button") << "the template's defaults";
    EXPECT_EQ(save->getAttr("caption"), "Save") << "the element's own attributes win";
    EXPECT_EQ(save->getAttr("width"), "64");
    ASSERT_EQ(save->children().size(), 2u);
    EXPECT_EQ(save->children()[0]->name(), "label") << "the template's children first";
    EXPECT_EQ(save->children()[0]->getAttr("text"), "Save") << "built after the element's attributes";
    EXPECT_EQ(save->children()[1]->name(), "extra");
    EXPECT_EQ(root.findObject("panel.gain")->getAttr("kind"), "local-knob") << "a template inside an element";
    EXPECT_EQ(root.findObject("plain")->getAttr("caption"), "OK");
    EXPECT_EQ(root.findObject("plain")->getAttr("label-text"), "OK");
}

TEST(Documents, TemplateThatContainsItselfFails) {
    const char* xml = R"(<document>
  <template name="ui:box"><core:object><ui:box name="inner"/></core:object></template>
  <ui:box name="outer"/>
</document>)";
    CObject root;
    CErrorPtr err = CXMLData::loadFromMemory("loop", compileDocument(xml, "loop"), root);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "Run-time template 'ui:box' contains itself.");
}

TEST(Documents, LiveBindingToAnElementDefinedLaterFollowsItAfterInit) {
    const char* xml = R"(<document>
  <core:object name="view" fps="{*/ui.global-data frames-per-second?40}"/>
  <core:object name="ui"><core:object name="global-data" frames-per-second="60"/></core:object>
</document>)";
    CObject root;
    ASSERT_EQ(CApplication::instance()->initRootObject(root), nullptr);
    ASSERT_EQ(CXMLData::loadFromMemory("later", compileDocument(xml, "later"), root), nullptr);
    ASSERT_EQ(root.init(), nullptr);
    CObject* view = root.findObject("view");
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->getAttr("fps"), "60");
    root.findObject("ui.global-data")->setAttr("frames-per-second", "30");
    EXPECT_EQ(view->getAttr("fps"), "30");
}

TEST(Documents, UnknownClassTagFailsWithItsPosition) {
    const std::vector<uint8_t> bytes = compileDocument(
        "<document><core:object name=\"a\"><no:such-class name=\"b\"/></core:object></document>", "unknown");
    CObject root;
    CErrorPtr err = CXMLData::loadFromMemory("unknown.xml", bytes, root);
    ASSERT_NE(err, nullptr);
    const std::string text = err->text().utf8();
    EXPECT_NE(text.find("'no:such-class'"), std::string::npos) << text;
    EXPECT_NE(text.find("'b'"), std::string::npos) << text;
    EXPECT_NE(text.find("at byte "), std::string::npos) << text;
    EXPECT_NE(text.find("inside 'a'"), std::string::npos) << text;
    EXPECT_NE(root.findObject("a"), nullptr) << "objects built before the failure stay";
}

TEST(Documents, HostileBytesFailCleanly) {
    const std::vector<uint8_t> good = embedded("SharedData.xml");
    size_t failures = 0;
    // Every truncation fails: the node stream must end exactly at the end.
    for (size_t n = 0; n < good.size(); ++n) {
        std::shared_ptr<const CDocument> doc;
        std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        if (CDocument::decode("cut", cut, doc)) ++failures;
    }
    EXPECT_EQ(failures, good.size());
    // One trailing byte too many also fails.
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    std::shared_ptr<const CDocument> doc;
    EXPECT_NE(CDocument::decode("long", longer, doc), nullptr);
    // Single-byte corruptions anywhere either decode and build, or fail
    // with a record; never crash.
    for (size_t i = 0; i < good.size(); i += 3) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0xA5;
        CObject target;
        CErrorPtr e = CXMLData::loadFromMemory("flipped", bad, target);
        if (e) {
            EXPECT_FALSE(e->text().empty());
        }
    }
}

TEST(Documents, TemplateBodyMustMatchItsDeclaredSize) {
    std::vector<uint8_t> bytes = compileDocument(
        "<document><template name=\"t\"><core:object a=\"1\"/></template><core:object name=\"z\"/></document>", "tmpl");
    std::shared_ptr<const CDocument> doc;
    ASSERT_EQ(CDocument::decode("tmpl", bytes, doc), nullptr);
    // The template record is the root's first child: tag, name, kind, class
    // tag, body size.
    const size_t rec = doc->nodesStart() + 9;
    ASSERT_EQ(doc->bytes()[rec + 4], 1);
    EXPECT_EQ(doc->u16(rec + 5), doc->u16(rec + 11)) << "class tag is the body's tag";
    const size_t sizeAt = rec + 7;
    for (int delta : {-1, 1}) {
        std::vector<uint8_t> bad = bytes;
        bad[sizeAt] = static_cast<uint8_t>(bad[sizeAt] + delta);
        EXPECT_NE(CDocument::decode("bad", bad, doc), nullptr) << delta;
    }
}

TEST(Resources, LookupIsExactAndFilesFillTheGaps) {
    CResourceReader r;
    ASSERT_EQ(r.open("SharedData.xml"), nullptr);
    EXPECT_TRUE(r.isEmbedded());
    uint64_t size = 0, pos = 1;
    ASSERT_EQ(r.getSize(size), nullptr);
    ASSERT_EQ(r.getPosition(pos), nullptr);
    EXPECT_EQ(size, CEmbeddedResourceMap::instance().find("SharedData.xml")->size) << "the size prefix is not served";
    EXPECT_EQ(pos, 0u);

    CErrorPtr e = r.open("shareddata.xml");
    ASSERT_NE(e, nullptr) << "a name differing only in case is not embedded";
    EXPECT_EQ(e->text().utf8(), "Unable to open file 'shareddata.xml' for reading (error 2).");

    // A file supplies a document that is not embedded.
    const std::vector<uint8_t> bytes =
        compileDocument("<document><core:object name=\"from-file\"/></document>", "file");
    CObject root;
    ASSERT_EQ(CXMLData::load(CString(documentScratchPath("file.bin")), root), nullptr);
    EXPECT_NE(root.findChild("from-file"), nullptr);

    CErrorPtr missing = CXMLData::load("Missing.xml", root);
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->key(), "@zelstr_CXMLData_load_ReadError");
    ASSERT_NE(missing->cause(), nullptr);
    EXPECT_EQ(missing->cause()->key(), "@zelstr_CFileReader_open_OpenError");
}
