// SPDX-License-Identifier: GPL-3.0-or-later
// Faults a person meets going through the editor's popup windows one after
// another.

#include <gtest/gtest.h>

#include "EditorInHostFixture.h"
#include "UI/Controls/ParagraphEditor.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/PresetManager.h"
#include "UI/PresetStore.h"

namespace zel {
namespace {

class PopupSessionOnX : public test::CInstanceEditorInHost {
protected:
    // The user's banks are shared by every test: those added here go again.
    void beforeOpening() override { banks = CPresetStore(data, "shared-banks", false).load(); }
    void TearDown() override {
        CInstanceEditorInHost::TearDown();
        EXPECT_EQ(CPresetStore(data, "shared-banks", false).save(banks), nullptr);
    }

    CView* part(CView& popup, const std::string& path) {
        CView* v = dynamic_cast<CView*>(popup.findObject("." + path));
        EXPECT_NE(v, nullptr) << path;
        return v;
    }
    CPresetManager* openManager() {
        return dynamic_cast<CPresetManager*>(openByButton("main-window.buttons.presets", "ui:win-preset-manager"));
    }

    CObject data;
    std::vector<CAudioPresetBank> banks;
};

// A click on the selected bank opens its name after a wait, unless anything
// else in the window is pressed meanwhile: a press on "Add" adds a bank and
// leaves the new one's name closed.
TEST_F(PopupSessionOnX, APressElsewhereCancelsTheWaitingRename) {
    CPresetManager* m = openManager();
    ASSERT_NE(m, nullptr);
    CView* add = part(*m, "c.banks.buttons.add");
    ASSERT_NE(add, nullptr);
    const size_t before = m->banks().size();
    click(*add);
    ASSERT_TRUE(until([&] { return m->banks().size() == before + 1; }));
    auto* list = dynamic_cast<CTextView*>(part(*m, "c.banks.frame.list"));
    ASSERT_NE(list, nullptr);
    const int added = list->selectedParagraph();
    ASSERT_GE(added, 2);
    // The click on the selected bank, then "Add" well within the wait.
    clickParagraph(*list, added);
    click(*add);
    ASSERT_TRUE(until([&] { return m->banks().size() == before + 2; }));
    loop.runFor(1200);
    EXPECT_FALSE(list->editor().isEditing());

    // Alone, the same click opens the name over that entry only.
    const int selected = list->selectedParagraph();
    clickParagraph(*list, selected);
    ASSERT_TRUE(until([&] { return list->editor().isEditing(); }));
    const CView* box = list->editor().editBox();
    ASSERT_NE(box, nullptr);
    EXPECT_LT(box->area().height(), list->area().height() / 4);
    EXPECT_LE(box->area().top, list->paragraphTop(selected) + 2);
}

}  // namespace
}  // namespace zel
