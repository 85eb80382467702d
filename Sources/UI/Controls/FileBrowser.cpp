// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/FileBrowser.h"

#include <algorithm>
#include <cmath>

#include "Platform/FolderListing.h"
#include "Platform/Folders.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/TextView.h"
#include "UI/EditBox.h"
#include "UI/FolderMemory.h"
#include "UI/InputRouter.h"
#include "UI/ParamLink.h"
#include "UI/ViewScroll.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "FileBrowser"

namespace zel {

namespace {

constexpr uint32_t kKeyBackSpace = 0xff08, kKeyReturn = 0xff0d, kKeyEscape = 0xff1b, kKeyHome = 0xff50;
constexpr uint32_t kKeyUp = 0xff52, kKeyDown = 0xff54, kKeyPageUp = 0xff55, kKeyPageDown = 0xff56;
constexpr uint32_t kKeyEnd = 0xff57, kKeyPadEnter = 0xff8d, kKeyPadHome = 0xff95, kKeyPadUp = 0xff97;
constexpr uint32_t kKeyPadPageUp = 0xff9a, kKeyPadPageDown = 0xff9b, kKeyPadDown = 0xff99, kKeyPadEnd = 0xff9c;

using EKind = CFileBrowserListing::EKind;

CString utf8(const std::string& text) { return CString::fromUtf8(text); }

}  // namespace

CFileRequest CFileRequest::of(const CFileType& type, bool isSave, const CString& proposedName) {
    CFileRequest r;
    r.isSave = isSave;
    r.extension = type.extension;
    r.description = type.description;
    r.folder = CFolderMemory(type.defpath).folder().utf8();
    r.proposedName = proposedName;
    const CString dotted = CString(".") + type.extension;
    if (!type.extension.empty() && r.proposedName.endsWith(dotted))
        r.proposedName = r.proposedName.substr(0, r.proposedName.length() - dotted.length());
    return r;
}

void CFileBrowser::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("browser-button", &CFileBrowser::onButton);
    info.onEvent("browser-list-selected", &CFileBrowser::onListSelected);
    info.onEvent("browser-list-dbl-clicked", &CFileBrowser::onListDoubleClick);
    info.onEvent("browser-list-key", &CFileBrowser::onListKey);
    info.onEvent("browser-name-key", &CFileBrowser::onNameKey);
    info.onEvent("browser-name-changed", &CFileBrowser::onNameChanged);
    info.onEvent("browser-closed", &CFileBrowser::onWindowClosed);
    info.onEvent("browser-tick", &CFileBrowser::onTick);
}

void CFileBrowser::setRequest(const CFileRequest& request, CDone done) {
    m_request = request;
    m_done = std::move(done);
}

CErrorPtr CFileBrowser::init() {
    const auto find = [this](const char* path, auto*& out) -> CErrorPtr {
        ZEL_TRY(findObjectChecked(path, out));
        return nullptr;
    };
    // The request shapes the views before they read their attributes.
    CObject *title = nullptr, *nameRow = nullptr, *filterView = nullptr;
    ZEL_TRY(find(".title-bar.title", title));
    ZEL_TRY(find(".actions.name-row", nameRow));
    ZEL_TRY(find(".actions.buttons.filter", filterView));
    ZEL_TRY(find(".actions.buttons.ok", m_ok));
    const bool save = m_request.isSave;
    ZEL_TRY(title->setAttr("title", save ? "Save File" : "Open File"));
    ZEL_TRY(m_ok->setAttr("title", save ? "Save" : "Open"));
    ZEL_TRY(nameRow->setAttr("is-hidden", save ? "false" : "true"));
    CString filter = m_request.description;
    if (!m_request.extension.empty())
        filter += CString(filter.empty() ? "*." : " (*.") + m_request.extension + (filter.empty() ? "" : ")");
    ZEL_TRY(filterView->setAttr("title", filter.empty() ? CString("All files") : filter));
    ZEL_TRY(CView::init());

    ZEL_TRY(find(".places.folder", m_folder));
    ZEL_TRY(find(".files.list", m_list));
    m_files = dynamic_cast<CView*>(m_list->parent());
    ZEL_TRY(find(".actions.name-row.name", m_name));
    ZEL_TRY(find(".actions", m_actions));
    ZEL_TRY(find(".message", m_message));
    ZEL_TRY(find(".overwrite", m_overwrite));
    ZEL_TRY(find(".overwrite.question", m_overwriteText));
    ZEL_TRY(find(".places.up", m_up));
    ZEL_TRY(find(".places.last", m_last));
    m_lastFolder = findChild("last-folder");
    for (const char* path : {".places.up", ".places.home", ".places.last", ".actions.buttons.ok",
                             ".actions.buttons.cancel", ".overwrite.buttons.replace", ".overwrite.buttons.keep"}) {
        CButton* button = nullptr;
        ZEL_TRY(find(path, button));
        ZEL_TRY(listenObject(button, "button-clicked", "browser-button"));
    }
    ZEL_TRY(listenObject(m_list, "selected-paragraph-changed", "browser-list-selected"));
    ZEL_TRY(listenObject(m_list, "paragraph-dbl-clicked", "browser-list-dbl-clicked"));
    ZEL_TRY(listenObject(m_list, "key-press", "browser-list-key"));
    ZEL_TRY(listenObject(m_name, "key-press", "browser-name-key"));
    ZEL_TRY(listenObject(m_name, "editbox-text-changed", "browser-name-changed"));
    if (CWindowRenderer* renderer = windowRenderer()) {
        ZEL_TRY(listenObject(renderer, "close-window", "browser-closed"));
        ZEL_TRY(listenObject(renderer, "tick", "browser-tick"));
    }

    m_listing = CFileBrowserListing(m_request.extension.utf8());
    if (save) {
        const std::string name = CFileBrowserListing::safeFileName(m_request.proposedName.utf8());
        m_name->setText(
            utf8(name.empty() || m_listing.extension().empty() ? name : name + "." + m_listing.extension()));
    }
    const std::string last = lastFolder();
    ZEL_TRY(m_last->setAttr("is-disabled", last.empty() ? "true" : "false"));
    std::string start = m_request.folder;
    if (start.empty() || !platform::folderExists(start)) start = last;
    if (start.empty()) start = platform::homeFolder();
    if (go(start)) ZEL_TRY(go("/"));
    return nullptr;
}

CErrorPtr CFileBrowser::onTick(CObject*, CObject*) {
    // The keys go where they are wanted from the first frame on, when the
    // window can take them: a save to the name, an open to the list.
    if (m_focused) return nullptr;
    m_focused = true;
    keepInView(selected());
    return m_request.isSave ? focusName() : focusList();
}

std::string CFileBrowser::lastFolder() const {
    if (!m_lastFolder) return {};
    const std::string folder = m_lastFolder->getAttr("folder").utf8();
    return !folder.empty() && platform::folderExists(folder) ? folder : std::string();
}

int CFileBrowser::selected() const { return m_list ? m_list->selectedParagraph() : -1; }

CErrorPtr CFileBrowser::focusList() {
    CWindowRenderer* renderer = windowRenderer();
    if (renderer && renderer->router()) ZEL_TRY(renderer->router()->setFocus(m_list));
    return nullptr;
}

CErrorPtr CFileBrowser::focusName() {
    // The name without its extension is selected: typing replaces it, the extension stays.
    const std::string text = m_name->buffer().text();
    const std::string tail = "." + m_listing.extension();
    size_t end = m_name->buffer().length();
    if (!m_listing.extension().empty() && text.size() > tail.size() &&
        text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
        end -= tail.size();
    return m_name->focusSelecting(0, end);
}

CErrorPtr CFileBrowser::go(const std::string& folder) {
    const std::string from = m_listing.folder();
    if (CErrorPtr err = m_listing.open(folder)) {
        ZEL_TRY(showMessage(err->text()));
        return ZEL_PASS(err);
    }
    ZEL_TRY(showMessage({}));
    ZEL_TRY(stopAsking());
    ZEL_TRY(showListing());
    // Going up selects the folder we came from.
    int at = -1;
    if (!from.empty() && CFileBrowserListing::parentOf(from) == m_listing.folder() && from != m_listing.folder())
        at = m_listing.find(from.substr(from.rfind('/') + 1), EKind::Folder);
    if (at < 0 && !m_listing.entries().empty()) at = 0;
    return select(at);
}

CErrorPtr CFileBrowser::showListing() {
    std::vector<CTextView::CListEntry> entries;
    for (const CFileBrowserListing::CEntry& e : m_listing.entries()) {
        if (e.kind == EKind::File)
            entries.push_back({utf8(e.name)});
        else
            entries.push_back({CString("[B]") + utf8(e.name) + "/[/B]"});
    }
    m_list->setInt("selected-paragraph", -1);
    m_list->setEntries(entries);
    ZEL_TRY(m_folder->setAttr("title", utf8(m_listing.folder())));
    ZEL_TRY(m_up->setAttr("is-disabled", m_listing.folder() == "/" ? "true" : "false"));
    // A new folder shows from its top.
    if (auto* offset = dynamic_cast<CUIParam*>(m_files->findChild("ui-param-offset"))) ZEL_TRY(offset->setValue(0));
    relayoutWindow();
    return nullptr;
}

CErrorPtr CFileBrowser::select(int index) {
    const int count = int(m_listing.entries().size());
    if (count == 0) return nullptr;
    index = std::clamp(index, 0, count - 1);
    if (index != m_list->selectedParagraph()) ZEL_TRY(m_list->setAttr("selected-paragraph", toText((long long)index)));
    const CFileBrowserListing::CEntry& e = m_listing.entries()[size_t(index)];
    if (m_request.isSave && e.kind == EKind::File) m_name->setText(utf8(e.name));
    keepInView(index);
    return nullptr;
}

void CFileBrowser::keepInView(int index) {
    CViewScroll* scroll = m_files ? m_files->scroll() : nullptr;
    auto* offset = m_files ? dynamic_cast<CUIParam*>(m_files->findChild("ui-param-offset")) : nullptr;
    if (!scroll || !offset || index < 0 || size_t(index) >= m_list->paragraphs().size()) return;
    const CRect room = scroll->room();
    const double ratio = scroll->ratio(true);
    if (ratio <= 0 || ratio >= 1 || room.height() <= 0) return;
    const double content = room.height() / ratio;
    const double shown = scroll->offset(true) * content;
    const CTextView::CParagraph& p = m_list->paragraphs()[size_t(index)];
    // Where the entry is within the whole content, from the content's top.
    const double top = m_list->paragraphTop(index) - room.top + shown;
    const double bottom = top + p.height + m_list->getReal("paragraph-spacing", 0) * uiScale() + 4 * uiScale();
    double want = shown;
    if (top < shown)
        want = top;
    else if (bottom > shown + room.height())
        want = bottom - room.height();
    if (want != shown) (void)offset->setValue(std::clamp(want / content, 0.0, 1.0 - ratio));
}

int CFileBrowser::pageRows() const {
    const std::vector<CTextView::CParagraph>& rows = m_list->paragraphs();
    CViewScroll* scroll = m_files ? m_files->scroll() : nullptr;
    if (rows.size() < 2 || !scroll) return 10;
    const int pitch = std::max(1, rows[1].top - rows[0].top);
    return std::max(1, scroll->room().height() / pitch - 1);
}

CErrorPtr CFileBrowser::openEntry(int index) {
    if (index < 0 || size_t(index) >= m_listing.entries().size()) return nullptr;
    const std::string path = m_listing.pathOf(size_t(index));
    if (m_listing.entries()[size_t(index)].kind != EKind::File) {
        (void)go(path);  // an unreadable folder shows why and keeps the listing
        return nullptr;
    }
    return m_request.isSave ? save(path) : finish(path, false);
}

CErrorPtr CFileBrowser::accept() {
    if (isAskingToOverwrite()) return finish(m_pending, false);
    if (!m_request.isSave) return openEntry(selected());
    const std::string typed = m_name->buffer().text();
    // The name of a folder opens it.
    if (typed.find_first_not_of(" \t") != std::string::npos) {
        const std::string folder = CFileBrowserListing::normalise(typed, m_listing.folder());
        if (platform::folderExists(folder)) {
            (void)go(folder);
            return nullptr;
        }
    }
    const std::string path = m_listing.savePath(typed);
    if (path.empty()) return showMessage("Please enter a file name.");
    return save(path);
}

CErrorPtr CFileBrowser::save(const std::string& path) {
    if (!platform::folderExists(CFileBrowserListing::folderOf(path)))
        return showMessage(CString("The folder '") + utf8(CFileBrowserListing::folderOf(path)) + "' does not exist.");
    if (platform::pathExists(path)) return askToOverwrite(path);
    return finish(path, false);
}

CErrorPtr CFileBrowser::cancel() {
    if (isAskingToOverwrite()) return stopAsking();
    return finish({}, true);
}

CErrorPtr CFileBrowser::finish(const std::string& path, bool cancelled) {
    if (m_finished) return nullptr;
    m_finished = true;
    if (!cancelled && m_lastFolder) ZEL_TRY(m_lastFolder->setAttr("folder", utf8(CFileBrowserListing::folderOf(path))));
    // The window closes first: what the caller opens next is not blocked by it.
    CWindowRenderer* renderer = windowRenderer();
    if (renderer) ZEL_TRY(renderer->closeWindow());
    if (m_done) m_done(path, cancelled);
    return nullptr;
}

CErrorPtr CFileBrowser::showMessage(const CString& text) {
    if (m_message->getAttr("title") == text) return nullptr;
    ZEL_TRY(m_message->setAttr("title", text));
    ZEL_TRY(m_message->setAttr("is-hidden", text.empty() ? "true" : "false"));
    return nullptr;
}

CErrorPtr CFileBrowser::askToOverwrite(const std::string& path) {
    m_pending = path;
    const std::string name = path.substr(path.rfind('/') + 1);
    ZEL_TRY(m_overwriteText->setAttr("title", CString("[B]") + utf8(name) + "[/B] already exists. Replace it?"));
    ZEL_TRY(m_actions->setAttr("is-hidden", "true"));
    ZEL_TRY(m_overwrite->setAttr("is-hidden", "false"));
    return focusList();
}

CErrorPtr CFileBrowser::stopAsking() {
    if (m_pending.empty()) return nullptr;
    m_pending.clear();
    ZEL_TRY(m_overwrite->setAttr("is-hidden", "true"));
    ZEL_TRY(m_actions->setAttr("is-hidden", "false"));
    return nullptr;
}

CErrorPtr CFileBrowser::onButton(CObject*, CObject* sender) {
    const CString name = sender ? sender->name() : CString();
    if (name == CString("up")) {
        (void)go(CFileBrowserListing::parentOf(m_listing.folder()));
    } else if (name == CString("home")) {
        (void)go(platform::homeFolder());
    } else if (name == CString("last")) {
        const std::string last = lastFolder();
        if (!last.empty()) (void)go(last);
    } else if (name == CString("ok") || name == CString("replace")) {
        return accept();
    } else if (name == CString("cancel") || name == CString("keep")) {
        return cancel();
    }
    return nullptr;
}

CErrorPtr CFileBrowser::onListSelected(CObject* params, CObject*) {
    if (!params) return nullptr;
    ZEL_TRY(stopAsking());
    const int at = int(params->getInt("paragraph-index", -1));
    if (at >= 0 && size_t(at) < m_listing.entries().size()) ZEL_TRY(select(at));
    return nullptr;
}

CErrorPtr CFileBrowser::onListDoubleClick(CObject* params, CObject*) {
    if (!params) return nullptr;
    return openEntry(int(params->getInt("paragraph-index", -1)));
}

CErrorPtr CFileBrowser::onListKey(CObject* params, CObject*) {
    if (!params) return nullptr;
    const uint32_t key = uint32_t(params->getInt("keycode", 0));
    const int at = selected();
    const int last = int(m_listing.entries().size()) - 1;
    switch (key) {
        case kKeyUp:
        case kKeyPadUp:
            return isAskingToOverwrite() ? nullptr : select(at - 1);
        case kKeyDown:
        case kKeyPadDown:
            return isAskingToOverwrite() ? nullptr : select(at + 1);
        case kKeyPageUp:
        case kKeyPadPageUp:
            return select(at - pageRows());
        case kKeyPageDown:
        case kKeyPadPageDown:
            return select(at + pageRows());
        case kKeyHome:
        case kKeyPadHome:
            return select(0);
        case kKeyEnd:
        case kKeyPadEnd:
            return select(last);
        case kKeyReturn:
        case kKeyPadEnter:
            if (isAskingToOverwrite()) return accept();
            // In a save, a file chosen in the list is saved to under the name shown.
            return m_request.isSave && at >= 0 && m_listing.entries()[size_t(at)].kind == EKind::File ? accept()
                                                                                                      : openEntry(at);
        case kKeyBackSpace:
            if (!isAskingToOverwrite()) (void)go(CFileBrowserListing::parentOf(m_listing.folder()));
            return nullptr;
        case kKeyEscape:
            return cancel();
        default:
            break;
    }
    const std::string text = params->getAttr("text").utf8();
    if (text.size() == 1 && static_cast<unsigned char>(text[0]) > 0x20 && !isAskingToOverwrite()) {
        const int next = m_listing.nextStartingWith(text[0], at);
        if (next >= 0) return select(next);
    }
    return nullptr;
}

CErrorPtr CFileBrowser::onNameKey(CObject* params, CObject*) {
    const uint32_t key = params ? uint32_t(params->getInt("keycode", 0)) : 0;
    m_nameEntered = key == kKeyReturn || key == kKeyPadEnter;
    return nullptr;
}

CErrorPtr CFileBrowser::onNameChanged(CObject* params, CObject*) {
    const bool entered = m_nameEntered;
    m_nameEntered = false;
    if (!params || params->getBool("is-cancelled", false)) return focusList();
    ZEL_TRY(showMessage({}));
    if (!entered) return nullptr;
    ZEL_TRY(focusList());
    return accept();
}

CErrorPtr CFileBrowser::onWindowClosed(CObject*, CObject*) {
    if (m_finished) return nullptr;
    m_finished = true;
    if (m_done) m_done({}, true);
    return nullptr;
}

CErrorPtr CFileBrowser::open(CView& opener, const CFileRequest& request, CDone done, CFileBrowser** out) {
    if (out) *out = nullptr;
    auto* windows = dynamic_cast<CWindowOpener*>(opener.findObject("ui.window-shared-data.window-opener"));
    if (!windows) return ZEL_ERROR("@zelstr_CTextView_openPopup_Opener Unable to find the window opener.");
    const bool wasOpen = windows->findPopup("file-browser") != nullptr;
    CWinDrag* root = nullptr;
    const auto prepare = [&](CWinDrag& popup) {
        if (auto* browser = dynamic_cast<CFileBrowser*>(popup.findChild("browser"))) browser->setRequest(request, done);
    };
    ZEL_TRY(windows->openPopup("ui:win-file-browser", "file-browser", opener, root, prepare));
    auto* browser = root ? dynamic_cast<CFileBrowser*>(root->findChild("browser")) : nullptr;
    if (!browser) return ZEL_ERROR("@zelstr_CFileBrowser_open_NoBrowser The window has no file browser.");
    if (wasOpen && done) done({}, true);
    if (out) *out = browser;
    return nullptr;
}

}  // namespace zel
