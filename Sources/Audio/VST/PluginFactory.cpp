// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/VST/PluginFactory.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "Audio/VST/AudioWrapperVST3.h"
#include "Core/Application.h"
#include "Core/Notify.h"
#include "Core/Object.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/vsttypes.h"

#define ZEL_SOURCE_TAG "PluginFactory"

namespace zel {

using Steinberg::int32;
using Steinberg::tresult;

namespace {

std::mutex g_createLock;
// Cleared by the factory itself when the host releases it for the last time.
std::atomic<CPluginFactoryVST3*> g_factory{nullptr};

int hexValue(char16_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <size_t N>
void copyText(Steinberg::char8 (&out)[N], const CString& text) {
    const std::string bytes = text.utf8();
    const size_t n = std::min(bytes.size(), N - 1);
    std::memcpy(out, bytes.data(), n);
    out[n] = 0;
}

}  // namespace

bool classIdFromUuid(const CString& text, Steinberg::TUID out) {
    // Where each byte's two digits start in the text, and where each byte
    // goes in the class ID.
    static constexpr size_t kTextPos[16] = {0, 2, 4, 6, 9, 11, 14, 16, 19, 21, 24, 26, 28, 30, 32, 34};
    static constexpr size_t kSource[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    if (text.length() < 36) return false;
    uint8_t bytes[16];
    for (size_t i = 0; i < 16; ++i) {
        const int high = hexValue(text.at(kTextPos[i]));
        const int low = hexValue(text.at(kTextPos[i] + 1));
        if (high < 0 || low < 0) return false;
        bytes[i] = static_cast<uint8_t>(high << 4 | low);
    }
    for (size_t i = 0; i < 16; ++i) out[i] = static_cast<Steinberg::char8>(bytes[kSource[i]]);
    return true;
}

Steinberg::IPluginFactory* CPluginFactoryVST3::acquire() {
    std::lock_guard<std::mutex> lock(g_createLock);
    if (CPluginFactoryVST3* factory = g_factory.load()) {
        factory->addRef();
        return factory;
    }
    CObject* shared = CApplication::sharedObject();
    CObject* project = shared ? shared->findChild("project") : nullptr;
    if (!project) {
        CErrorPtr err = ZEL_ERROR("@zelstr_CPluginFactoryVST3_acquire_NoProject No project settings loaded.");
        CSystem::showError(*err);
        return nullptr;
    }
    auto* factory = new CPluginFactoryVST3();
    if (CErrorPtr err = factory->readProject(*project)) {
        CSystem::showError(*err);
        factory->release();
        return nullptr;
    }
    // Its first reference is the caller's.
    g_factory = factory;
    return factory;
}

CPluginFactoryVST3::~CPluginFactoryVST3() {
    CPluginFactoryVST3* self = this;
    g_factory.compare_exchange_strong(self, nullptr);
}

CErrorPtr CPluginFactoryVST3::readProject(const CObject& project) {
    const CString uuid = project.getAttr("plugin-uuid");
    if (!classIdFromUuid(uuid, m_classInfo.cid))
        return ZEL_ERROR("@zelstr_CPluginFactoryVST3_readProject_InvalidUuid Invalid plug-in UUID in string '%1'.",
                         uuid);
    const CString vendor = project.getAttr("app-vendor");
    copyText(m_factoryInfo.vendor, vendor);
    copyText(m_factoryInfo.url, project.getAttr("app-vendor-url"));
    copyText(m_factoryInfo.email, project.getAttr("app-vendor-email"));
    m_factoryInfo.flags = Steinberg::PFactoryInfo::kUnicode;

    m_classInfo.cardinality = Steinberg::PClassInfo::kManyInstances;
    copyText(m_classInfo.category, kVstAudioEffectClass);
    copyText(m_classInfo.name, project.getAttr("app-name"));
    m_classInfo.classFlags = 0;
    copyText(m_classInfo.subCategories, project.getAttr("plugin-category-vst3"));
    copyText(m_classInfo.vendor, vendor);
    copyText(m_classInfo.version, project.getAttr("app-version"));
    // The interface version the plug-in is written against.
    copyText(m_classInfo.sdkVersion, "VST 3.5.1");
    return nullptr;
}

tresult PLUGIN_API CPluginFactoryVST3::getFactoryInfo(Steinberg::PFactoryInfo* info) {
    if (!info) return Steinberg::kInvalidArgument;
    *info = m_factoryInfo;
    return Steinberg::kResultOk;
}

tresult PLUGIN_API CPluginFactoryVST3::getClassInfo(int32 index, Steinberg::PClassInfo* info) {
    if (index != 0 || !info) return Steinberg::kInvalidArgument;
    std::memcpy(info->cid, m_classInfo.cid, sizeof info->cid);
    info->cardinality = m_classInfo.cardinality;
    std::memcpy(info->category, m_classInfo.category, sizeof info->category);
    std::memcpy(info->name, m_classInfo.name, sizeof info->name);
    return Steinberg::kResultOk;
}

tresult PLUGIN_API CPluginFactoryVST3::getClassInfo2(int32 index, Steinberg::PClassInfo2* info) {
    if (index != 0 || !info) return Steinberg::kInvalidArgument;
    *info = m_classInfo;
    return Steinberg::kResultOk;
}

tresult PLUGIN_API CPluginFactoryVST3::createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid, void** obj) {
    if (!obj) return Steinberg::kInvalidArgument;
    *obj = nullptr;
    // Hosts may pass ids at any alignment; the SDK's comparison reads them
    // as 8-byte words, so they are compared bytewise and the interface id is
    // handed on from an aligned copy.
    if (!cid || !iid || std::memcmp(cid, m_classInfo.cid, sizeof(Steinberg::TUID)) != 0) return Steinberg::kNoInterface;
    alignas(8) Steinberg::TUID interfaceId;
    std::memcpy(interfaceId, iid, sizeof interfaceId);
    // The host's pointer holds its own reference; the creation's goes.
    auto* instance = new CAudioWrapperVST3();
    const tresult rc = instance->queryInterface(interfaceId, obj);
    instance->release();
    return rc;
}

}  // namespace zel
