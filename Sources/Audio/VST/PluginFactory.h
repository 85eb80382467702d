// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Error.h"
#include "Core/String.h"
#include "base/source/fobject.h"
#include "pluginterfaces/base/ipluginbase.h"

namespace zel {

class CObject;

// Reads a UUID text ("00112233-4455-6677-8899-aabbccddeeff") into the byte
// order of a Windows GUID: the first group and the next two little-endian,
// the last eight bytes in text order. False for text shorter than 36
// characters or a non-hex digit.
bool classIdFromUuid(const CString& text, Steinberg::TUID out);

// The module's factory: one audio effect class, described by the project
// settings of the shared document.
class CPluginFactoryVST3 final : public Steinberg::FObject, public Steinberg::IPluginFactory2 {
public:
    // The factory with one more reference for the caller; created from the
    // shared `project` on the first call. Null (the error shown) before the
    // application started or with unusable project settings.
    static Steinberg::IPluginFactory* acquire();

    ~CPluginFactoryVST3() override;

    // IPluginFactory
    Steinberg::tresult PLUGIN_API getFactoryInfo(Steinberg::PFactoryInfo* info) override;
    Steinberg::int32 PLUGIN_API countClasses() override { return 1; }
    Steinberg::tresult PLUGIN_API getClassInfo(Steinberg::int32 index, Steinberg::PClassInfo* info) override;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid,
                                                 void** obj) override;
    // IPluginFactory2
    Steinberg::tresult PLUGIN_API getClassInfo2(Steinberg::int32 index, Steinberg::PClassInfo2* info) override;

    OBJ_METHODS(CPluginFactoryVST3, Steinberg::FObject)
    DEFINE_INTERFACES
    DEF_INTERFACE(Steinberg::IPluginFactory)
    DEF_INTERFACE(Steinberg::IPluginFactory2)
    END_DEFINE_INTERFACES(Steinberg::FObject)
    REFCOUNT_METHODS(Steinberg::FObject)

private:
    CPluginFactoryVST3() = default;
    CErrorPtr readProject(const CObject& project);

    Steinberg::PFactoryInfo m_factoryInfo;
    Steinberg::PClassInfo2 m_classInfo;
};

}  // namespace zel
