// SPDX-License-Identifier: GPL-3.0-or-later
// The editor's file dialog, driven with the pointer and the keyboard as a
// person drives it.

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "EditorInHostFixture.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"

namespace zel::test {
namespace {

namespace fs = std::filesystem;

class FileBrowser : public CInstanceEditorInHost {
protected:
    void SetUp() override {
        folder = (fs::path(std::getenv("LAGWELL_DATA_HOME")) / "browse").string();
        fs::remove_all(folder);
        for (const char* d : {"home", "home/Banks", "home/Banks/Old", "home/Work"})
            fs::create_directories(folder + "/" + d);
        for (const char* f : {"home/Banks/live.cbf", "home/Banks/studio.CBF", "home/Banks/notes.txt",
                              "home/Banks/one.cpf", "home/top.cbf"})
            std::ofstream(folder + "/" + f) << "x";
        home = folder + "/home";
        const char* was = std::getenv("HOME");
        oldHome = was ? was : "";
        setenv("HOME", home.c_str(), 1);
        CInstanceEditorInHost::SetUp();
    }
    void TearDown() override {
        CInstanceEditorInHost::TearDown();
        setenv("HOME", oldHome.c_str(), 1);
    }

    void open(const CFileRequest& request) {
        done = false;
        path.clear();
        CView* opener = find("main-window");
        ASSERT_NE(opener, nullptr);
        ASSERT_EQ(CFileBrowser::open(
                      *opener, request,
                      [this](const std::string& p, bool cancelled) {
                          done = true;
                          path = p;
                          wasCancelled = cancelled;
                      },
                      &browser),
                  nullptr);
        ASSERT_NE(browser, nullptr);
        popup = browser->windowRenderer();
        ASSERT_TRUE(until([&] { return popup->frameCount() >= 2; }));
        popup->window()->display().sync();
        ASSERT_TRUE(popup->window()->screenOrigin(px, py));
        list = find<CTextView>("file-browser.browser.files.list");
        ASSERT_NE(list, nullptr);
    }
    CView* part(const std::string& path) { return find("file-browser.browser." + path); }
    void click(const std::string& path, const char* clicks = "click 1") {
        CView* v = part(path);
        ASSERT_NE(v, nullptr) << path;
        xdo("mousemove " + centre(v->area(), px, py) + " " + clicks);
    }
    void clickRow(int row, const char* clicks = "click 1") {
        ASSERT_LT(size_t(row), list->paragraphs().size());
        const int y = list->paragraphTop(row) + list->paragraphs()[size_t(row)].height / 2 + 2;
        xdo("mousemove " + std::to_string(px + list->area().left + 30) + " " + std::to_string(py + y) + " " + clicks);
    }
    bool shows(const std::string& where) {
        return until([&] { return browser->listing().folder() == where; });
    }
    std::string selectedName() const {
        const int at = browser->selected();
        return at < 0 ? std::string() : browser->listing().entries()[size_t(at)].name;
    }
    bool closed() {
        return until([&] { return done && !find("file-browser"); });
    }
    void shot(const char* name) {
        if (const char* shots = std::getenv("LAGWELL_BROWSER_SHOTS")) {
            ASSERT_TRUE(until([&, frames = popup->frameCount() + 3] { return popup->frameCount() >= frames; }));
            x.run(std::string("import -window root ") + shots + "/" + name + ".png");
        }
    }

    std::string folder, home, oldHome;
    CFileBrowser* browser = nullptr;
    CWindowRenderer* popup = nullptr;
    CTextView* list = nullptr;
    int px = 0, py = 0;
    bool done = false, wasCancelled = false;
    std::string path;
};

CFileRequest banks(bool save, const std::string& start, const char* name = "") {
    CFileRequest r;
    r.isSave = save;
    r.extension = "cbf";
    r.description = "Compressed bank files";
    r.folder = start;
    r.proposedName = name;
    return r;
}

TEST_F(FileBrowser, OpeningAFileWalksTheFoldersWithThePointerAndTheKeys) {
    open(banks(false, ""));
    ASSERT_TRUE(until([&] { return popup->router()->focusView() == list; }));
    // Without a start folder and a folder used before, it starts at home.
    EXPECT_EQ(browser->listing().folder(), home);
    shot("browser-open-home");
    // Into "Banks" by a double-click: its subfolder and its bank files only.
    clickRow(browser->listing().find("Banks", CFileBrowserListing::EKind::Folder), "click --repeat 2 --delay 80 1");
    ASSERT_TRUE(shows(home + "/Banks"));
    std::vector<std::string> names;
    for (const auto& e : browser->listing().entries()) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"..", "Old", "live.cbf", "studio.CBF"}));
    EXPECT_EQ(part("places.folder")->getAttr("title").utf8(), home + "/Banks");
    shot("browser-open-banks");
    // Backspace goes up, to the folder we came from.
    clickRow(0);
    ASSERT_TRUE(until([&] { return browser->selected() == 0; }));
    xdo("key BackSpace");
    ASSERT_TRUE(shows(home));
    EXPECT_EQ(selectedName(), "Banks");
    // Enter opens it again; Down twice and Enter choose the second bank.
    xdo("key Return");
    ASSERT_TRUE(shows(home + "/Banks"));
    xdo("key Down Down Down");
    ASSERT_TRUE(until([&] { return selectedName() == "studio.CBF"; }));
    xdo("key Home");
    ASSERT_TRUE(until([&] { return browser->selected() == 0; }));
    xdo("key l");
    ASSERT_TRUE(until([&] { return selectedName() == "live.cbf"; }));
    xdo("key Return");
    ASSERT_TRUE(closed());
    EXPECT_FALSE(wasCancelled);
    EXPECT_EQ(path, home + "/Banks/live.cbf");

    // The next browser starts where that file was; "Home" and "Last folder"
    // are the shortcuts, "Up" goes to the parent.
    open(banks(false, ""));
    EXPECT_EQ(browser->listing().folder(), home + "/Banks");
    click("places.home");
    ASSERT_TRUE(shows(home));
    click("places.last");
    ASSERT_TRUE(shows(home + "/Banks"));
    click("places.up");
    ASSERT_TRUE(shows(home));
    // "Open" on a folder opens it; on a file chooses it.
    clickRow(browser->listing().find("Work", CFileBrowserListing::EKind::Folder));
    click("actions.buttons.ok");
    ASSERT_TRUE(shows(home + "/Work"));
    click("places.up");
    ASSERT_TRUE(shows(home));
    clickRow(browser->listing().find("top.cbf", CFileBrowserListing::EKind::File));
    click("actions.buttons.ok");
    ASSERT_TRUE(closed());
    EXPECT_EQ(path, home + "/top.cbf");
}

TEST_F(FileBrowser, GivingUpByCancelEscapeOrClosingReportsNoPath) {
    open(banks(false, home + "/Banks"));
    EXPECT_EQ(browser->listing().folder(), home + "/Banks");
    click("actions.buttons.cancel");
    ASSERT_TRUE(closed());
    EXPECT_TRUE(wasCancelled);
    EXPECT_EQ(path, "");

    open(banks(false, home));
    clickRow(0);
    xdo("key Escape");
    ASSERT_TRUE(closed());
    EXPECT_TRUE(wasCancelled);

    // Closed by other means (the editor, the window manager), it gives up once.
    open(banks(true, home, "Bank"));
    ASSERT_EQ(popup->closeWindow(), nullptr);
    ASSERT_TRUE(closed());
    EXPECT_TRUE(wasCancelled);
}

TEST_F(FileBrowser, SavingProposesTheNameAndAsksBeforeReplacingAFile) {
    open(banks(true, home + "/Banks", "Lagwell_Live"));
    const auto name = [&] { return find<CEditBox>("file-browser.browser.actions.name-row.name"); };
    ASSERT_NE(name(), nullptr);
    EXPECT_EQ(name()->buffer().text(), "Lagwell_Live.cbf");
    EXPECT_EQ(part("title-bar.title")->getAttr("title").utf8(), "Save File");
    EXPECT_EQ(part("actions.buttons.filter")->getAttr("title").utf8(), "Compressed bank files (*.cbf)");
    EXPECT_EQ(part("actions.buttons.ok")->getAttr("title").utf8(), "Save");
    shot("browser-save");

    // The name has the keys with the proposed name selected: typed at once,
    // a new name replaces it and keeps the extension; Enter saves.
    ASSERT_TRUE(until([&] { return popup->router()->focusView() == name(); }));
    EXPECT_TRUE(name()->isEditing());
    EXPECT_EQ(name()->buffer().selectionStart(), 0u);
    EXPECT_EQ(name()->buffer().selectionEnd(), 12u);
    EXPECT_EQ(name()->virtualKeyboard(), nullptr) << "the keyboard waits for a press on the name";
    xdo("type --delay 10 'Gig 2'");
    xdo("key Return");
    ASSERT_TRUE(closed());
    EXPECT_FALSE(wasCancelled);
    EXPECT_EQ(path, home + "/Banks/Gig 2.cbf");

    // A file that is there: the browser asks; Cancel goes back to the listing.
    open(banks(true, home + "/Banks", "live"));
    click("actions.buttons.ok");
    ASSERT_TRUE(until([&] { return browser->isAskingToOverwrite(); }));
    EXPECT_EQ(part("overwrite.question")->getAttr("title").utf8(), "[B]live.cbf[/B] already exists. Replace it?");
    EXPECT_TRUE(part("actions")->getBool("is-hidden", false));
    shot("browser-overwrite");
    click("overwrite.buttons.keep");
    ASSERT_TRUE(until([&] { return !browser->isAskingToOverwrite(); }));
    EXPECT_FALSE(done);
    // Choosing a file in the list takes its name; Replace saves over it.
    clickRow(browser->listing().find("studio.CBF", CFileBrowserListing::EKind::File));
    ASSERT_TRUE(until([&] { return name()->buffer().text() == "studio.CBF"; }));
    click("actions.buttons.ok");
    ASSERT_TRUE(until([&] { return browser->isAskingToOverwrite(); }));
    click("overwrite.buttons.replace");
    ASSERT_TRUE(closed());
    EXPECT_EQ(path, home + "/Banks/studio.CBF");

    // An empty name is refused with a message; a folder's name opens it.
    open(banks(true, home, "x"));
    click("actions.name-row.name");
    xdo("key ctrl+a BackSpace Return");
    ASSERT_TRUE(until([&] { return !part("message")->getBool("is-hidden", true); }));
    EXPECT_EQ(part("message")->getAttr("title").utf8(), "Please enter a file name.");
    EXPECT_FALSE(done);
    click("actions.name-row.name");
    xdo("type --delay 10 'Work'");
    xdo("key Return");
    ASSERT_TRUE(shows(home + "/Work"));
    EXPECT_FALSE(done);
    EXPECT_TRUE(part("message")->getBool("is-hidden", false));
}

}  // namespace
}  // namespace zel::test
