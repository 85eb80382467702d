// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A VST3 module loaded the way a Linux host loads it: the shared library of
// the bundle (<name>.vst3/Contents/<arch>-linux/<name>.so) is opened, its
// ModuleEntry called and its factory read. Destroying the module releases
// the factory, calls ModuleExit and closes the library; every plug-in made
// from it keeps it alive.

#include <array>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HostContext.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace lagwell::host {

struct HostError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct FactoryInfo {
    std::string vendor;
    std::string url;
    std::string email;
    Steinberg::int32 flags = 0;
};

struct ClassInfo {
    std::array<char, 16> cid{};
    Steinberg::int32 cardinality = 0;
    std::string category;
    std::string name;
    // From the second version of the class information, empty without it.
    Steinberg::uint32 classFlags = 0;
    std::string subCategories;
    std::string vendor;
    std::string version;
    std::string sdkVersion;
};

class Module {
public:
    // A bundle folder, or the shared library itself. Throws HostError.
    static std::shared_ptr<Module> load(const std::string& path);
    ~Module();
    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    // The shared library that was opened.
    const std::string& libraryPath() const { return m_libraryPath; }
    Steinberg::IPluginFactory* factory() const { return m_factory; }
    HostApplication& hostContext() { return m_host; }
    const FactoryInfo& info() const { return m_info; }
    const std::vector<ClassInfo>& classes() const { return m_classes; }
    // The first class of a category ("Audio Module Class"); throws HostError.
    const ClassInfo& findClass(const std::string& category) const;

private:
    Module() : m_host("Lagwell host") {}
    void readFactory();

    std::string m_libraryPath;
    void* m_library = nullptr;
    bool m_entered = false;
    Steinberg::IPluginFactory* m_factory = nullptr;
    HostApplication m_host;
    FactoryInfo m_info;
    std::vector<ClassInfo> m_classes;
};

// The shared library inside a bundle, or the path itself when it names a file.
std::string moduleLibraryPath(const std::string& path);

}  // namespace lagwell::host
