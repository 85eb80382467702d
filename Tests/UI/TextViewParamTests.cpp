// SPDX-License-Identifier: GPL-3.0-or-later
// Text views whose paragraphs are the values of an instance's parameter.

#include <gtest/gtest.h>

#include "Audio/Param.h"
#include "EditorInstance.h"
#include "UI/Controls/TextView.h"

namespace zel {
namespace {

using test::CInstanceRoot;
using test::CTestInstance;

std::vector<std::string> titles(const CTextView& v) {
    std::vector<std::string> out;
    for (const auto& p : v.paragraphs()) {
        std::string text;
        for (const CTextItem& item : p.items)
            if (item.kind == CTextItem::EKind::Word) text += item.text.utf8();
        out.push_back(text + (p.isEnabled ? "" : " (off)"));
    }
    return out;
}

TEST(TextViewParam, AParametersStatesBecomeTheParagraphsOnceTheInstanceDescribesIt) {
    CTestInstance w;
    ASSERT_EQ(w.init(), nullptr);
    CInstanceRoot root(w);
    ASSERT_EQ(test::buildEditor(root, R"(
    <ui:view name="w" width="200" height="120">
      <ui:textview name="modes" placement="top" height="60" font-name="shared::font.base"
                   text-source="ui.mode-bridge" no-items-title="Waiting"/>
      <ui:textview name="third" placement="top" height="20" font-name="shared::font.base"
                   text-source="ui.mode-bridge" text-source-single-value="2"/>
      <ui:textview name="delay" placement="top" height="20" font-name="shared::font.base"
                   text-source="ui.adelay-bridge" no-items-title="No steps"/>
    </ui:view>)"),
              nullptr);
    auto* modes = dynamic_cast<CTextView*>(root.findObject("ui.w.modes"));
    auto* third = dynamic_cast<CTextView*>(root.findObject("ui.w.third"));
    auto* delay = dynamic_cast<CTextView*>(root.findObject("ui.w.delay"));
    ASSERT_TRUE(modes && third && delay);
    using V = std::vector<std::string>;
    EXPECT_EQ(titles(*modes), V{"Waiting (off)"}) << "nothing known before the first frame";
    ASSERT_EQ(root.ui().refresh(), nullptr);
    EXPECT_EQ(titles(*modes), (V{"Msec", "Meter", "Foot"}));
    EXPECT_EQ(titles(*third), V{"Foot"});
    // The digits of the delay time are stepped too: ten values each.
    EXPECT_EQ(titles(*delay).size(), 10u);
    EXPECT_EQ(titles(*delay).front(), "0");
}

}  // namespace
}  // namespace zel
