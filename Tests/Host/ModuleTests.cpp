// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and loading a module, with the modules of this folder that fail
// to load.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Module.h"
#include "TestHost.h"

namespace lagwell::host {
namespace {

namespace fs = std::filesystem;

std::string loadError(const std::string& path) {
    try {
        Module::load(path);
    } catch (const HostError& e) {
        return e.what();
    }
    return "loaded";
}

// The entry points a broken module saw called while loading and unloading.
std::string callsWhileLoading(const std::string& name, std::string& error) {
    const std::string log = test::scratchPath(name + ".log");
    setenv("LAGWELL_BROKEN_MODULE_LOG", log.c_str(), 1);
    error = loadError(std::string(LAGWELL_BROKEN_MODULES) + "/" + name + ".vst3");
    unsetenv("LAGWELL_BROKEN_MODULE_LOG");
    std::ifstream in(log);
    std::stringstream calls;
    calls << in.rdbuf();
    return calls.str();
}

TEST(ModuleTest, FindsTheLibraryInsideABundle) {
    EXPECT_EQ(moduleLibraryPath("/p/Foo.vst3"), "/p/Foo.vst3/Contents/x86_64-linux/Foo.so");
    EXPECT_EQ(moduleLibraryPath("/p/Foo.vst3/"), "/p/Foo.vst3/Contents/x86_64-linux/Foo.so");
    EXPECT_EQ(moduleLibraryPath("/p/Foo.vst3/Contents/x86_64-linux/../.."), "/p/Foo.vst3/Contents/x86_64-linux/Foo.so");
    const std::string file = test::scratchPath("Single.so");
    std::ofstream(file) << "x";
    EXPECT_EQ(moduleLibraryPath(file), file) << "a file is the library itself";
}

TEST(ModuleTest, NamesWhatIsMissing) {
    EXPECT_EQ(loadError("/nonexistent/Gone.vst3"), "/nonexistent/Gone.vst3: no such plug-in");
    const std::string empty = test::scratchPath("bundles") + "/Empty.vst3";
    fs::create_directories(empty);
    EXPECT_EQ(loadError(empty), empty + ": not a VST3 bundle (no " + empty + "/Contents/x86_64-linux/Empty.so)");
    const std::string junk = test::scratchPath("Junk.so");
    std::ofstream(junk) << "not a library";
    EXPECT_NE(loadError(junk).find("cannot open " + junk), std::string::npos);
}

TEST(ModuleTest, ExitsOnlyAModuleThatEntered) {
    std::string error;
    EXPECT_EQ(callsWhileLoading("NoEntry", error), "");
    EXPECT_NE(error.find("no ModuleEntry"), std::string::npos) << error;
    EXPECT_EQ(callsWhileLoading("EntryFails", error), "entry\n");
    EXPECT_NE(error.find("ModuleEntry failed"), std::string::npos) << error;
    EXPECT_EQ(callsWhileLoading("NoFactory", error), "entry\nexit\n");
    EXPECT_NE(error.find("returned no factory"), std::string::npos) << error;
}

}  // namespace

// Hosts load many plug-ins into one process: anything the module exported
// besides its three entry points could bind to another module's symbols.
TEST(ModuleTest, ThePluginExportsOnlyItsEntryPoints) {
    const std::string library = std::string(test::bundlePath()) + "/Contents/x86_64-linux/Lagwell.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    for (const char* entry : {"GetPluginFactory", "ModuleEntry", "ModuleExit"})
        EXPECT_NE(dlsym(handle, entry), nullptr) << entry;
    for (const char* internal : {"_ZN3zel12CApplication5startEv", "_ZN3zel7CObject4initEv"})
        EXPECT_EQ(dlsym(handle, internal), nullptr) << internal;
    dlclose(handle);
}

}  // namespace lagwell::host
