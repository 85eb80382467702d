// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "Core/Error.h"
#include "Core/Object.h"

namespace zel {

// The process-wide application: the class registry, the embedded resources
// and the shared object tree loaded from SharedData.xml. Every plug-in
// instance in the process shares it.
class CApplication {
public:
    // Start-up: registers the class table, maps the embedded resources,
    // creates the shared object and loads the shared document into it.
    // Calls are counted; only the first does the work.
    static CErrorPtr start();
    // The matching end: the last call releases the shared tree.
    static void finish();
    // One more start for an object that needs the application while it
    // lives (a plug-in instance outliving the module's exit); false, and
    // nothing to finish, when the application is not running.
    static bool retain();
    static CApplication* instance();

    // The shared tree's root, null before start-up or after the end.
    static CObject* sharedObject();

    // Creates the shared object once; a second call fails.
    CErrorPtr initSharedObject();
    // Gives `root` the next root id and enters it in the root map; needs
    // the shared object.
    CErrorPtr initRootObject(CObject& root);
    CObject* findRoot(long long id);
    size_t rootCount();

    // Called by a root object as it is released.
    static void rootReleased(long long id);

private:
    CApplication() = default;

    std::unique_ptr<CObject> m_shared;
    std::mutex m_rootLock;
    long long m_nextRootId = 0;
    std::map<long long, CObject*> m_roots;
};

// Keeps the application, and with it the shared tree, alive from
// construction to destruction, if it was running when constructed.
class CApplicationHold {
public:
    CApplicationHold() : m_held(CApplication::retain()) {}
    ~CApplicationHold() {
        if (m_held) CApplication::finish();
    }
    CApplicationHold(const CApplicationHold&) = delete;
    CApplicationHold& operator=(const CApplicationHold&) = delete;

private:
    bool m_held;
};

}  // namespace zel
