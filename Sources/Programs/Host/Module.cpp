// SPDX-License-Identifier: GPL-3.0-or-later
#include "Module.h"

#include <dlfcn.h>

#include <filesystem>

namespace lagwell::host {

using namespace Steinberg;
namespace fs = std::filesystem;

namespace {

#if defined(__x86_64__)
constexpr const char* kArchFolder = "x86_64-linux";
#elif defined(__aarch64__)
constexpr const char* kArchFolder = "aarch64-linux";
#elif defined(__i386__)
constexpr const char* kArchFolder = "i386-linux";
#else
#error "no VST3 bundle folder is known for this architecture"
#endif

using ModuleEntryFunc = bool (*)(void*);
using ModuleExitFunc = bool (*)();
using GetFactoryFunc = IPluginFactory* (*)();

template <size_t N>
std::string fixed(const char8 (&text)[N]) {
    size_t n = 0;
    while (n < N && text[n] != 0) ++n;
    return std::string(text, n);
}

}  // namespace

std::string moduleLibraryPath(const std::string& path) {
    fs::path bundle = fs::path(path).lexically_normal();
    if (!bundle.has_filename()) bundle = bundle.parent_path();
    std::error_code ec;
    if (fs::is_regular_file(bundle, ec)) return bundle.string();
    const std::string name = bundle.stem().string();
    return (bundle / "Contents" / kArchFolder / (name + ".so")).string();
}

std::shared_ptr<Module> Module::load(const std::string& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) throw HostError(path + ": no such plug-in");
    std::shared_ptr<Module> module(new Module);
    module->m_libraryPath = moduleLibraryPath(path);
    if (!fs::is_regular_file(module->m_libraryPath, ec))
        throw HostError(path + ": not a VST3 bundle (no " + module->m_libraryPath + ")");

    module->m_library = dlopen(module->m_libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module->m_library) throw HostError(std::string("cannot open ") + module->m_libraryPath + ": " + dlerror());
    const auto entry = reinterpret_cast<ModuleEntryFunc>(dlsym(module->m_library, "ModuleEntry"));
    if (!entry) throw HostError(module->m_libraryPath + ": no ModuleEntry");
    if (!entry(module->m_library)) throw HostError(module->m_libraryPath + ": ModuleEntry failed");
    module->m_entered = true;
    const auto getFactory = reinterpret_cast<GetFactoryFunc>(dlsym(module->m_library, "GetPluginFactory"));
    if (!getFactory) throw HostError(module->m_libraryPath + ": no GetPluginFactory");
    module->m_factory = getFactory();
    if (!module->m_factory) throw HostError(module->m_libraryPath + ": GetPluginFactory returned no factory");
    module->readFactory();
    return module;
}

Module::~Module() {
    if (m_factory) m_factory->release();
    if (m_entered) {
        if (const auto exit = reinterpret_cast<ModuleExitFunc>(dlsym(m_library, "ModuleExit"))) exit();
    }
    if (m_library) dlclose(m_library);
}

void Module::readFactory() {
    PFactoryInfo info{};
    if (m_factory->getFactoryInfo(&info) == kResultOk)
        m_info = {fixed(info.vendor), fixed(info.url), fixed(info.email), info.flags};

    FUnknownPtr<IPluginFactory2> factory2(m_factory);
    FUnknownPtr<IPluginFactory3> factory3(m_factory);
    if (factory3) factory3->setHostContext(&m_host);

    const int32 count = m_factory->countClasses();
    for (int32 i = 0; i < count; ++i) {
        ClassInfo c;
        PClassInfo2 info2{};
        PClassInfo info1{};
        if (factory2 && factory2->getClassInfo2(i, &info2) == kResultOk) {
            std::copy(std::begin(info2.cid), std::end(info2.cid), c.cid.begin());
            c.cardinality = info2.cardinality;
            c.category = fixed(info2.category);
            c.name = fixed(info2.name);
            c.classFlags = info2.classFlags;
            c.subCategories = fixed(info2.subCategories);
            c.vendor = fixed(info2.vendor);
            c.version = fixed(info2.version);
            c.sdkVersion = fixed(info2.sdkVersion);
        } else if (m_factory->getClassInfo(i, &info1) == kResultOk) {
            std::copy(std::begin(info1.cid), std::end(info1.cid), c.cid.begin());
            c.cardinality = info1.cardinality;
            c.category = fixed(info1.category);
            c.name = fixed(info1.name);
        } else {
            continue;
        }
        m_classes.push_back(std::move(c));
    }
}

const ClassInfo& Module::findClass(const std::string& category) const {
    for (const ClassInfo& c : m_classes)
        if (c.category == category) return c;
    throw HostError(m_libraryPath + ": the factory has no class of category \"" + category + "\"");
}

}  // namespace lagwell::host
