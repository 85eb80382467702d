// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and loading a module, with the modules of this folder that fail
// to load.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "LiveHeap.h"
#include "Module.h"
#include "Plugin.h"
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

// A host that calls ModuleExit while an instance is still alive: the
// instance keeps working, terminates and even initialises again, and an
// exit without its entry is refused.
TEST(ModuleTest, AnInstanceOutlivesTheModulesExit) {
    auto module = Module::load(test::bundlePath());
    Plugin plugin(module, module->findClass("Audio Module Class"));
    void* handle = dlopen(module->libraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    ASSERT_NE(handle, nullptr) << dlerror();
    const auto moduleExit = reinterpret_cast<bool (*)()>(dlsym(handle, "ModuleExit"));
    ASSERT_NE(moduleExit, nullptr);
    EXPECT_TRUE(moduleExit());
    EXPECT_FALSE(moduleExit()) << "no entry left to match";

    plugin.setupProcessing(48000, 256, Steinberg::Vst::kSample32, Steinberg::Vst::kRealtime);
    plugin.start();
    test::Channels<float> in(2, std::vector<float>(256, 0.25f)), out(2, std::vector<float>(256));
    std::vector<float*> inPtrs{in[0].data(), in[1].data()}, outPtrs{out[0].data(), out[1].data()};
    EXPECT_EQ(plugin.process(256, MainBuses<float>{inPtrs.data(), 2, outPtrs.data(), 2}), Steinberg::kResultOk);
    EXPECT_EQ(out[0][100], 0.25f);
    EXPECT_FALSE(plugin.saveState().empty());
    plugin.stop();
    EXPECT_EQ(plugin.component()->terminate(), Steinberg::kResultOk);
    EXPECT_EQ(plugin.component()->initialize(&module->hostContext()), Steinberg::kResultOk);
    dlclose(handle);
}

// Hosts load and unload a module many times in one process (scans, project
// switches): each cycle must give back everything it took.
TEST(ModuleTest, LoadingAndUnloadingLeavesNothingBehind) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the live heap is counted by an operator new of the test program's own, which the sanitizers "
                    "keep for themselves";
#endif
    const auto cycle = [] {
        auto module = Module::load(test::bundlePath());
        Plugin plugin(module, module->findClass("Audio Module Class"));
        plugin.setupProcessing(48000, 256, Steinberg::Vst::kSample32, Steinberg::Vst::kRealtime);
        EXPECT_FALSE(plugin.saveState().empty());
    };
    // The first cycle fills what stays for the process (the C++ runtime's
    // and the host's own tables).
    cycle();
    const size_t before = test::liveHeapBytes();
    for (int i = 0; i < 10; ++i) cycle();
    EXPECT_EQ(static_cast<long long>(test::liveHeapBytes()) - static_cast<long long>(before), 0)
        << "bytes kept by 10 load and unload cycles";
}

}  // namespace lagwell::host
