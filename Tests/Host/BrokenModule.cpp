// SPDX-License-Identifier: GPL-3.0-or-later
// Modules that fail the ways a module can fail to load, one per build of
// this file: without ModuleEntry (BROKEN_NO_ENTRY), with a ModuleEntry that
// fails (BROKEN_ENTRY_FAILS), or with a factory function that returns none
// (BROKEN_NO_FACTORY). The entry points log their calls to the file that
// LAGWELL_BROKEN_MODULE_LOG names.
#include <cstdio>
#include <cstdlib>

namespace {

void log(const char* what) {
    if (const char* path = std::getenv("LAGWELL_BROKEN_MODULE_LOG")) {
        if (FILE* file = std::fopen(path, "a")) {
            std::fprintf(file, "%s\n", what);
            std::fclose(file);
        }
    }
}

}  // namespace

extern "C" {

#ifndef BROKEN_NO_ENTRY
__attribute__((visibility("default"))) bool ModuleEntry(void*) {
    log("entry");
#ifdef BROKEN_ENTRY_FAILS
    return false;
#else
    return true;
#endif
}
#endif

__attribute__((visibility("default"))) bool ModuleExit() {
    log("exit");
    return true;
}

__attribute__((visibility("default"))) void* GetPluginFactory() { return nullptr; }
}
