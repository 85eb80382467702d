// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

#include "UI/FileBrowserListing.h"
#include "UI/View.h"

namespace zel {

class CButton;
class CEditBox;
class CTextView;

// A kind of file that the editor reads and writes.
struct CFileType {
    CString extension;    // without the dot
    CString description;  // as the browser names it
    CString defpath;      // the key of the folder last used for it (CFolderMemory)
};

// What a file browser is asked for.
struct CFileRequest {
    bool isSave = false;
    CString extension;     // without the dot; empty lists every file
    CString description;   // the kind of file, as the browser names it
    std::string folder;    // where it starts; empty: the last folder used, else home
    CString proposedName;  // for saving; the extension is added

    // Files of `type`, starting in the folder last used for them; a
    // proposed name may come with the extension or without it.
    static CFileRequest of(const CFileType& type, bool isSave, const CString& proposedName = {});
};

// `ui:file-browser` (window template `ui:win-file-browser`): the editor's
// own dialog for choosing a file to open or a path to save to. It shows
// the current folder ("folder") and lists in "list" the way up, the
// subfolders and the files of the requested type; "up", "home" and "last"
// go to the parent, the home folder and the folder of the last file
// chosen (a global setting). Saving takes the name typed in "name", which
// starts with the proposed name, and asks in "overwrite" before it
// replaces a file. "ok" opens a folder or chooses, "cancel" or closing the
// window gives up.
//
// Keys in the list: Up, Down, Page Up, Page Down, Home and End move the
// selection, a letter goes to the next entry starting with it, Enter
// opens the folder or chooses the file, Backspace goes up, Escape gives
// up. Enter in "name" saves. A save starts with the keys in "name" and the
// proposed name selected, an open with the keys in the list.
class CFileBrowser : public CView {
public:
    // Called once: with the path chosen, or `cancelled`.
    using CDone = std::function<void(const std::string& path, bool cancelled)>;

    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // Opens the browser as a popup of `opener`'s editor. While a browser is
    // open, it is raised and the new request gives up at once.
    static CErrorPtr open(CView& opener, const CFileRequest& request, CDone done, CFileBrowser** out = nullptr);

    const CFileBrowserListing& listing() const { return m_listing; }
    const CFileRequest& request() const { return m_request; }
    int selected() const;
    bool isAskingToOverwrite() const { return !m_pending.empty(); }
    // Shows `folder`; one that cannot be read leaves the listing and shows why.
    CErrorPtr go(const std::string& folder);
    // Selects entry `index` and keeps it in view.
    CErrorPtr select(int index);
    // What "ok" does.
    CErrorPtr accept();
    CErrorPtr cancel();

private:
    void setRequest(const CFileRequest& request, CDone done);
    CErrorPtr onButton(CObject* params, CObject* sender);
    CErrorPtr onListSelected(CObject* params, CObject* sender);
    CErrorPtr onListDoubleClick(CObject* params, CObject* sender);
    CErrorPtr onListKey(CObject* params, CObject* sender);
    CErrorPtr onNameKey(CObject* params, CObject* sender);
    CErrorPtr onNameChanged(CObject* params, CObject* sender);
    CErrorPtr onWindowClosed(CObject* params, CObject* sender);
    CErrorPtr onTick(CObject* params, CObject* sender);

    // Opens the folder at `index` or chooses the file there.
    CErrorPtr openEntry(int index);
    // Saves to `path`, after asking when a file is there.
    CErrorPtr save(const std::string& path);
    CErrorPtr finish(const std::string& path, bool cancelled);
    CErrorPtr showMessage(const CString& text);
    CErrorPtr askToOverwrite(const std::string& path);
    CErrorPtr stopAsking();
    CErrorPtr showListing();
    CErrorPtr focusList();
    CErrorPtr focusName();
    void keepInView(int index);
    std::string lastFolder() const;
    int pageRows() const;

    CFileRequest m_request;
    CDone m_done;
    bool m_finished = false;
    CFileBrowserListing m_listing;
    std::string m_pending;  // the file that saving would replace
    bool m_nameEntered = false;
    bool m_focused = false;
    CTextView* m_folder = nullptr;
    CTextView* m_list = nullptr;
    CView* m_files = nullptr;
    CEditBox* m_name = nullptr;
    CTextView* m_message = nullptr;
    CView* m_overwrite = nullptr;
    CTextView* m_overwriteText = nullptr;
    CView* m_actions = nullptr;
    CObject* m_lastFolder = nullptr;
    CButton* m_ok = nullptr;
    CButton* m_up = nullptr;
    CButton* m_last = nullptr;
};

}  // namespace zel
