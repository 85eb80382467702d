// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Core/Application.h"
#include "Core/AttrDoubler.h"
#include "Core/ClassRegistry.h"
#include "Core/Object.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

// A small tree:  root ─ a ─ b ─ c
//                     ├ item(0), item(1), item(2)
//                     └ other
struct Tree {
    CObject root;
    CObject *a, *b, *c, *other;
    std::vector<CObject*> items;

    Tree() {
        a = add(root, "a");
        b = add(*a, "b");
        c = add(*b, "c");
        for (int i = 0; i < 3; ++i) {
            items.push_back(add(*a, "item"));
            items.back()->setInt("index", i);
        }
        other = add(*a, "other");
    }
    static CObject* add(CObject& parent, const char* name) {
        CObject* made = nullptr;
        EXPECT_EQ(parent.createChild("core:object", name, made), nullptr);
        return made;
    }
};

std::string text(const CErrorPtr& e) { return e ? e->text().utf8() : std::string("<no error>"); }

}  // namespace

TEST(Paths, FullNamesFollowTheTree) {
    Tree t;
    EXPECT_EQ(t.c->fullName(), "a.b.c");
    t.b->setName("renamed");
    EXPECT_EQ(t.c->fullName(), "a.renamed.c");
}

TEST(Paths, RelativeAbsoluteAndParentSteps) {
    Tree t;
    EXPECT_EQ(t.c->findObject("."), t.c);
    EXPECT_EQ(t.c->findObject("^"), t.b);
    EXPECT_EQ(t.c->findObject("^^"), t.a);
    EXPECT_EQ(t.c->findObject("^^other"), t.other);
    EXPECT_EQ(t.c->findObject("^^.other"), t.other);
    EXPECT_EQ(t.c->findObject("a.b"), t.b);
    EXPECT_EQ(t.c->findObject("^/a.other"), t.other) << "'/' goes back to the root";
    EXPECT_EQ(t.b->findObject(".c"), t.c);
    EXPECT_EQ(t.b->findObject("a..b.c."), t.c) << "empty segments are skipped, a final '.' is the current object";
    EXPECT_EQ(t.root.findObject("^"), nullptr) << "'^' at a root fails";
    EXPECT_EQ(t.c->findObject("^^^^"), nullptr);
    EXPECT_EQ(t.c->findObject("a.missing"), nullptr);
}

TEST(Paths, IndexSelectsAmongChildrenOfOneName) {
    Tree t;
    EXPECT_EQ(t.root.findObject("a.item"), t.items[0]);
    EXPECT_EQ(t.root.findObject("a.item#1"), t.items[1]);
    EXPECT_EQ(t.root.findObject("a.item#0x2"), t.items[2]);
    EXPECT_EQ(t.root.findObject("a.item#-1"), t.items[2]) << "negative counts from the last";
    EXPECT_EQ(t.root.findObject("a.item#3"), nullptr);
    EXPECT_EQ(t.root.findObject("a.item#+3"), t.other) << "'#+' counts among all children from the first match";
}

TEST(Paths, SharedPrefixReachesTheSharedTree) {
    Tree t;
    CObject* project = t.c->findObject("shared::project");
    ASSERT_NE(project, nullptr);
    EXPECT_EQ(project, CApplication::sharedObject()->findChild("project"));
    EXPECT_EQ(t.c->findObject("shared::nothing.here"), nullptr);
}

TEST(Attributes, TypedReadsAcceptOnlyExactTexts) {
    CObject o;
    o.setAttr("t", "true");
    o.setAttr("one", "1");
    o.setAttr("f", "false");
    o.setAttr("yes", "yes");
    o.setAttr("TRUE", "TRUE");
    o.setAttr("hex", "0x1F");
    o.setAttr("neg", "-12");
    o.setAttr("real", "0.001");
    o.setAttr("junk", "12abc");
    bool b = false;
    EXPECT_TRUE(o.readBool("t", b) && b);
    EXPECT_TRUE(o.readBool("one", b) && b);
    EXPECT_TRUE(o.readBool("f", b) && !b);
    EXPECT_FALSE(o.readBool("yes", b));
    EXPECT_FALSE(o.readBool("TRUE", b));
    EXPECT_FALSE(o.readBool("absent", b));
    EXPECT_EQ(o.getInt("hex", 0), 31);
    EXPECT_EQ(o.getInt("neg", 0), -12);
    EXPECT_EQ(o.getInt("junk", 7), 7);
    EXPECT_DOUBLE_EQ(o.getReal("real", 0), 0.001);
    EXPECT_DOUBLE_EQ(o.getReal("junk", -1.0), -1.0);
    o.setAttr("huge", "1e999");
    EXPECT_DOUBLE_EQ(o.getReal("huge", -1.0), -1.0) << "no text reads as infinity";
    o.setBool("flag", true);
    EXPECT_EQ(o.getAttr("flag"), "true");
    o.setReal("r", 12.0);
    EXPECT_EQ(o.getAttr("r"), "12");
    // Whatever a number's shortest text, it is written as a plain decimal that reads back the same.
    for (double v : {80.0, 100.0, 1200.0, -3000.0, 76.8, 0.00001, 1e20}) {
        o.setReal("r", v);
        EXPECT_EQ(o.getAttr("r").find('e'), CString::npos) << o.getAttr("r").utf8();
        EXPECT_EQ(o.getReal("r", -1), v) << o.getAttr("r").utf8();
    }
    o.setReal("r", 0.1);
    EXPECT_EQ(o.getAttr("r"), "0.1") << "still the shortest";
}

TEST(Attributes, DeclaredEmptyDiffersFromAbsentOnlyForLinks) {
    Tree t;
    t.c->setAttr("link", "");
    EXPECT_TRUE(t.c->hasAttr("link"));
    EXPECT_EQ(t.c->getAttr("link"), t.c->getAttr("absent"));
    CObject* found = nullptr;
    EXPECT_EQ(text(t.c->findObjectByAttr("link", found)), "Object name attribute 'link' cannot be empty.");
    t.c->setAttr("link", "^^other");
    EXPECT_EQ(t.c->findObjectByAttr("link", found), nullptr);
    EXPECT_EQ(found, t.other);
    t.c->setAttr("link", "^nothing");
    EXPECT_EQ(text(t.c->findObjectByAttr("link", found)),
              "Name attribute 'link' refers to a non-existent object '^nothing' ('a.b.c')");
    t.c->setAttr("link", "^");
    CAttrDoubler* wrong = nullptr;
    EXPECT_EQ(text(t.c->findObjectByAttr("link", wrong)),
              "Name attribute 'link' refers to object '^' ('a.b.c') of incompatible type.");
}

TEST(Attributes, FindCheckedReportsPathAndSearcher) {
    Tree t;
    CObject* o = nullptr;
    CErrorPtr e = t.b->findObjectChecked("x.y", o);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->key(), "@zelstr_CObject_findObjectChecked_FindError");
    EXPECT_EQ(text(e), "Unable to find object 'x.y' ('a.b')");
    CAttrDoubler* d = nullptr;
    EXPECT_EQ(text(t.b->findObjectChecked(".c", d)), "Incompatible type of object '.c' ('a.b')");
}

TEST(Expressions, LookupsDefaultsAndPlainText) {
    Tree t;
    t.b->setAttr("title", "Delay");
    t.c->setAttr("own", "mine");
    CObject& c = *t.c;
    auto expand = [&](const char* value) {
        c.setAttrExpanded("x", value);
        return c.getAttr("x").utf8();
    };
    EXPECT_EQ(expand("{/^ title}"), "Delay");
    EXPECT_EQ(expand("{own}"), "mine");
    EXPECT_EQ(expand("{full-name}.main"), "a.b.c.main");
    EXPECT_EQ(expand("{missing?fallback}"), "fallback");
    EXPECT_EQ(expand("{missing}"), "");
    EXPECT_EQ(expand("[{own}|{/^ title}]"), "[mine|Delay]") << "two expressions side by side";
    EXPECT_EQ(expand("{x"), "{x") << "an unclosed brace stays";
    EXPECT_EQ(expand("{x {own}"), "{x mine");
    EXPECT_EQ(expand("no braces"), "no braces");
    c.setAttrExpanded("font-name", "{?shared::font.base}");
    EXPECT_EQ(c.getAttr("font-name"), "shared::font.base") << "a default may look like a path";
    EXPECT_EQ(expand("{/shared::project app-name}"), "Lagwell");
    EXPECT_EQ(expand("{@/^}"), "a.b") << "'@' gives the full name of the object found";
}

TEST(Expressions, EmptyExpressionReadsTheAttributeItself) {
    Tree t;
    t.c->setAttr("size", "12");
    t.c->setAttrExpanded("size", "{?4}");
    EXPECT_EQ(t.c->getAttr("size"), "12");
    t.c->setAttrExpanded("fresh", "{?4}");
    EXPECT_EQ(t.c->getAttr("fresh"), "4");
    t.b->setAttr("flag", "true");
    t.c->setAttrExpanded("flag", "{/^?false}");
    EXPECT_EQ(t.c->getAttr("flag"), "true") << "inherits the parent's value of the same name";
    t.c->setAttrExpanded("other-flag", "{/^?false}");
    EXPECT_EQ(t.c->getAttr("other-flag"), "false");
}

TEST(Expressions, NestedExpandInsideOut) {
    Tree t;
    t.other->setAttr("is-show-hints", "yes");
    t.c->setAttr("window-full-name", "a.other");
    t.c->setAttrExpanded("hints", "{/{window-full-name} is-show-hints}");
    EXPECT_EQ(t.c->getAttr("hints"), "yes");
}

TEST(Expressions, LiveBindingsFollowUntilEitherSideGoes) {
    Tree t;
    t.b->setAttr("height", "100");
    t.c->setAttrExpanded("h", "{*/^ height}px");
    EXPECT_EQ(t.c->getAttr("h"), "100px");
    t.b->setAttr("height", "120");
    EXPECT_EQ(t.c->getAttr("h"), "120px");

    // A once-only expression does not follow.
    t.c->setAttrExpanded("once", "{/^ height}");
    t.b->setAttr("height", "130");
    EXPECT_EQ(t.c->getAttr("once"), "120");
    EXPECT_EQ(t.c->getAttr("h"), "130px");

    // A new text for the attribute replaces the binding.
    t.c->setAttrExpanded("h", "fixed");
    t.b->setAttr("height", "140");
    EXPECT_EQ(t.c->getAttr("h"), "fixed");

    // Target released first: the source changes afterwards without
    // touching it.
    t.other->setAttrExpanded("h", "{*/a.b height}");
    t.a->removeChild(t.other);
    t.b->setAttr("height", "150");
    EXPECT_EQ(t.c->getAttr("h"), "fixed");

    // Source released first: the target keeps its last value and can be
    // released later.
    t.items[0]->setAttr("width", "7");
    t.c->setAttrExpanded("w", "{*/a.item width}");
    EXPECT_EQ(t.c->getAttr("w"), "7");
    t.a->removeChild(t.items[0]);
    EXPECT_EQ(t.c->getAttr("w"), "7");
    t.items[1]->setAttr("width", "9");
    EXPECT_EQ(t.c->getAttr("w"), "7");
    t.a->removeChild(t.b);
    EXPECT_EQ(t.root.findObject("a.b"), nullptr);
}

TEST(Expressions, LiveBindingChainsPropagate) {
    Tree t;
    t.a->setAttr("scale", "1.0");
    t.b->setAttrExpanded("scale", "{*/^ scale}");
    t.c->setAttrExpanded("scale", "x{*/^ scale}");
    t.a->setAttr("scale", "1.25");
    EXPECT_EQ(t.b->getAttr("scale"), "1.25");
    EXPECT_EQ(t.c->getAttr("scale"), "x1.25");
}

TEST(Expressions, UnchangedValueNotifiesNoOne) {
    Tree t;
    t.b->setAttr("height", "100");
    t.c->setAttrExpanded("h", "{*/^ height}px");
    t.c->setAttr("h", "set by hand");
    t.b->setAttr("height", "100");
    EXPECT_EQ(t.c->getAttr("h"), "set by hand") << "the binding did not run";
    t.b->setAttr("height", "110");
    EXPECT_EQ(t.c->getAttr("h"), "110px");
}

TEST(Expressions, BindingCyclesEndInAnErrorRecord) {
    Tree t;
    // Two objects bound to each other: the binding that closes the circle
    // is refused; the value is set all the same and the first one follows.
    t.b->setAttr("x", "1");
    ASSERT_EQ(t.c->setAttrExpanded("x", "{*/a.b x}"), nullptr);
    EXPECT_EQ(text(t.b->setAttrExpanded("x", "{*/a.b.c x}")),
              "Live binding of attribute 'x' of 'a.b' to attribute 'x' of 'a.b.c' would form a cycle.");
    EXPECT_EQ(t.b->getAttr("x"), "1");
    t.b->setAttr("x", "2");
    EXPECT_EQ(t.c->getAttr("x"), "2");

    // Two attributes of one object, through a longer chain, and an
    // attribute bound to itself.
    ASSERT_EQ(t.c->setAttrExpanded("p", "{*q}"), nullptr);
    EXPECT_NE(t.c->setAttrExpanded("q", "{*p}"), nullptr);
    ASSERT_EQ(t.other->setAttrExpanded("r", "{*/a.b.c p}"), nullptr);
    EXPECT_NE(t.c->setAttrExpanded("q", "[{*/a.other r}]"), nullptr);
    t.c->setAttr("q", "5");
    EXPECT_EQ(t.other->getAttr("r"), "5");
    t.c->setAttr("size", "");
    CErrorPtr self = t.c->setAttrExpanded("size", "{*?4}");
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->key(), "@zelstr_CObject_setAttrExpanded_BindingCycle");
    EXPECT_EQ(t.c->getAttr("size"), "");
    EXPECT_NE(t.c->setAttrExpanded("fresh", "{*?4}"), nullptr);
    EXPECT_EQ(t.c->getAttr("fresh"), "4");
}

TEST(Expressions, CycleThroughAClassHandlerEndsInAnErrorRecord) {
    // The doubler writes its value into the very attribute its value
    // follows, adding a character each round.
    Tree t;
    CAttrDoubler* d = nullptr;
    ASSERT_EQ(t.a->createChild("core:attr-doubler", "dbl", d), nullptr);
    d->setAttr("target", "^");
    d->setAttr("attr", "h");
    t.a->setAttr("h", "1");
    ASSERT_EQ(d->setAttrExpanded("value", "{*/^ h}+"), nullptr);
    CErrorPtr e = d->init();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->key(), "@zelstr_CObject_setAttr_BindingCycle");
    EXPECT_EQ(text(e), "Attribute 'value' of 'a.dbl' changes itself through its live bindings.");
}

TEST(Expressions, LiveBindingToAnObjectMadeLaterBindsAtInit) {
    Tree t;
    t.c->setAttrExpanded("fps", "{*/a.settings frames-per-second?40}");
    t.c->setAttrExpanded("kept", "{*/a.settings frames-per-second?40}");
    t.c->setAttrExpanded("gone", "{*/a.never x?none}");
    EXPECT_EQ(t.c->getAttr("fps"), "40");
    CObject* settings = Tree::add(*t.a, "settings");
    settings->setAttr("frames-per-second", "60");
    t.c->setAttr("kept", "25");
    ASSERT_EQ(t.root.init(), nullptr);
    EXPECT_EQ(t.c->getAttr("fps"), "60");
    EXPECT_EQ(t.c->getAttr("kept"), "25") << "a value set meanwhile is not overwritten";
    EXPECT_EQ(t.c->getAttr("gone"), "none");
    settings->setAttr("frames-per-second", "30");
    EXPECT_EQ(t.c->getAttr("fps"), "30");
    EXPECT_EQ(t.c->getAttr("kept"), "25");

    // An object that exists without the attribute yet is followed as soon
    // as the attribute appears.
    t.c->setAttrExpanded("late", "{*/a.other late-attr?none}");
    EXPECT_EQ(t.c->getAttr("late"), "none");
    t.other->setAttr("late-attr", "here");
    EXPECT_EQ(t.c->getAttr("late"), "here");
}

TEST(Registry, DuplicateTagFailsAndFirstStays) {
    CClassRegistry& reg = CClassRegistry::instance();
    const CClassInfo* before = reg.find("core:object");
    ASSERT_NE(before, nullptr);
    CClassEntry dup{"core:object", &createObject<CAttrDoubler>, &CAttrDoubler::setupClass};
    CErrorPtr e = reg.registerCreator(dup);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->key(), "@zelstr_CObject_registerCreator");
    EXPECT_EQ(text(e), "Creator for 'core:object' has already been registered.");
    EXPECT_EQ(reg.find("core:object"), before);
    std::unique_ptr<CObject> made(reg.create("core:object"));
    EXPECT_EQ(dynamic_cast<CAttrDoubler*>(made.get()), nullptr);
}

TEST(Registry, TableIsSortedAndComplete) {
    size_t count = 0;
    const CClassEntry* table = classTable(count);
    ASSERT_GT(count, 1u);
    for (size_t i = 1; i < count; ++i) EXPECT_LT(CString(table[i - 1].tag), CString(table[i].tag)) << table[i].tag;
    EXPECT_EQ(CClassRegistry::instance().size(), count);
}

TEST(Registry, CreateChildChecksClassAndTemplates) {
    Tree t;
    CAttrDoubler* d = nullptr;
    EXPECT_EQ(t.c->createChild("core:attr-doubler", "dbl", d), nullptr);
    EXPECT_NE(d, nullptr);
    CAttrDoubler* wrong = nullptr;
    EXPECT_EQ(text(t.c->createChild("core:object", "plain", wrong)),
              "Object of invalid class created (child tag 'core:object', child name 'plain').");
    EXPECT_EQ(t.c->findChild("plain"), nullptr) << "a wrongly typed child is not left behind";
    CObject* o = nullptr;
    EXPECT_EQ(text(t.c->createFromTemplate("ui:none", "x", o)), "Run-time template 'ui:none' does not exist.");
    EXPECT_NE(t.c->createChild("no:such-class", "x", o), nullptr);
}

TEST(Registry, ReadOnlyObjectRefusesChildren) {
    CObject o;
    o.setReadOnly(true);
    CObject* child = nullptr;
    EXPECT_EQ(text(o.createChild("core:object", "c", child)), "Error adding child to read-only object.");
    EXPECT_TRUE(o.children().empty());
}

TEST(Events, UnknownEventAndListenerHandler) {
    Tree t;
    CErrorPtr e = t.c->runEvent("tick");
    EXPECT_EQ(text(e), "Unknown event 'tick'.");
    EXPECT_EQ(e->key(), "@zelstr_CObject_runEvent_UnknownEvent");
    EXPECT_EQ(text(t.c->listenObject(t.b, "update", "on-update")),
              "Event handler 'on-update' not found in listenObject().");
}

TEST(Errors, FormattingKeyArgumentsAndTrace) {
    CErrorPtr e = makeError("Test", 7, "@zelstr_CThing_do_Fail Failed %2 of %1 (%1%%); %3 stays.", {3, "two"});
    EXPECT_EQ(e->key(), "@zelstr_CThing_do_Fail");
    EXPECT_EQ(e->text().utf8(), "Failed two of 3 (3%%);  stays.");
    e->addTrace("Caller", 42);
    ASSERT_EQ(e->trace().size(), 2u);
    EXPECT_STREQ(e->trace()[1].tag, "Caller");
    EXPECT_EQ(e->trace()[1].line, 42);
    CErrorPtr outer = wrapError("Outer", 1, std::move(e), "@zelstr_COuter_run_Fail Outer %1.", {-5});
    EXPECT_EQ(outer->text().utf8(), "Outer -5.");
    ASSERT_NE(outer->cause(), nullptr);
    const std::string all = outer->describe();
    EXPECT_NE(all.find("caused by: Failed two of 3"), std::string::npos);
    EXPECT_NE(all.find("Caller:42"), std::string::npos);
}

TEST(AttrDoubler, CopiesValueToEveryTargetAndFollowsChanges) {
    Tree t;
    CAttrDoubler* d = nullptr;
    ASSERT_EQ(t.a->createChild("core:attr-doubler", "dbl", d), nullptr);
    d->setAttr("target", "^b ^other");
    d->setAttr("attr", "height");
    t.a->setAttr("h", "20");
    d->setAttrExpanded("value", "{*/^ h}");
    ASSERT_EQ(d->init(), nullptr);
    EXPECT_EQ(t.b->getAttr("height"), "20");
    EXPECT_EQ(t.other->getAttr("height"), "20");
    t.a->setAttr("h", "35");
    EXPECT_EQ(t.b->getAttr("height"), "35");
    EXPECT_EQ(t.other->getAttr("height"), "35");

    d->setAttr("target", "^b ^gone");
    EXPECT_EQ(text(d->init()), "Target object '^gone' not found.");
    d->setAttr("target", "");
    EXPECT_EQ(text(d->init()), "No target objects specified.");
}

TEST(Application, RootIdsAndSingleSharedObject) {
    CApplication* app = CApplication::instance();
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(CApplication::sharedObject()->rootId(), -1);
    EXPECT_EQ(text(app->initSharedObject()), "Shared object already exists.");
    const size_t before = app->rootCount();
    {
        CObject r1, r2;
        ASSERT_EQ(app->initRootObject(r1), nullptr);
        ASSERT_EQ(app->initRootObject(r2), nullptr);
        EXPECT_GT(r1.rootId(), 0);
        EXPECT_EQ(r2.rootId(), r1.rootId() + 1);
        EXPECT_EQ(app->findRoot(r2.rootId()), &r2);
        EXPECT_EQ(app->rootCount(), before + 2);
    }
    EXPECT_EQ(app->rootCount(), before) << "released roots leave the map";
}
