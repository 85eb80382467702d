// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the host lends a plug-in: the host context given to initialize
// (its name, and messages with attribute lists for plug-ins whose
// processor and controller talk to each other), and the component handler
// that hears of edits and restarts from the controller.

#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "HostObject.h"
#include "pluginterfaces/vst/ivstattributes.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivsthostapplication.h"
#include "pluginterfaces/vst/ivstmessage.h"

namespace lagwell::host {

class AttributeList final : public Shared<Steinberg::Vst::IAttributeList> {
public:
    Steinberg::tresult PLUGIN_API setInt(AttrID id, Steinberg::int64 value) override;
    Steinberg::tresult PLUGIN_API getInt(AttrID id, Steinberg::int64& value) override;
    Steinberg::tresult PLUGIN_API setFloat(AttrID id, double value) override;
    Steinberg::tresult PLUGIN_API getFloat(AttrID id, double& value) override;
    Steinberg::tresult PLUGIN_API setString(AttrID id, const Steinberg::Vst::TChar* string) override;
    Steinberg::tresult PLUGIN_API getString(AttrID id, Steinberg::Vst::TChar* string,
                                            Steinberg::uint32 sizeInBytes) override;
    Steinberg::tresult PLUGIN_API setBinary(AttrID id, const void* data, Steinberg::uint32 sizeInBytes) override;
    Steinberg::tresult PLUGIN_API getBinary(AttrID id, const void*& data, Steinberg::uint32& sizeInBytes) override;

private:
    using Value = std::variant<Steinberg::int64, double, std::u16string, std::vector<char>>;
    template <class T>
    Steinberg::tresult set(AttrID id, T&& value);
    template <class T>
    const T* get(AttrID id) const;

    std::map<std::string, Value> m_values;
};

class Message final : public Shared<Steinberg::Vst::IMessage> {
public:
    Message();
    ~Message() override;

    Steinberg::FIDString PLUGIN_API getMessageID() override { return m_id.c_str(); }
    void PLUGIN_API setMessageID(Steinberg::FIDString id) override { m_id = id ? id : ""; }
    Steinberg::Vst::IAttributeList* PLUGIN_API getAttributes() override { return m_attributes; }

private:
    std::string m_id;
    AttributeList* m_attributes;
};

class HostApplication final : public HostOwned<Steinberg::Vst::IHostApplication> {
public:
    explicit HostApplication(std::string name) : m_name(std::move(name)) {}

    Steinberg::tresult PLUGIN_API getName(Steinberg::Vst::String128 name) override;
    // Makes messages and attribute lists; nothing else.
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::TUID cid, Steinberg::TUID iid, void** obj) override;

private:
    std::string m_name;
};

// What the plug-in tells its host, in order. It holds the plug-in to the
// rules a host relies on: an edit's changes come between its begin and its
// end, and a begun edit is ended once; each breach is kept as a fault.
// The plug-in may call it from its audio thread as well as from the host's
// main thread.
class ComponentHandler final : public HostOwned<Steinberg::Vst::IComponentHandler> {
public:
    enum class Kind { Begin, Perform, End };
    struct Edit {
        Kind kind;
        Steinberg::Vst::ParamID id;
        Steinberg::Vst::ParamValue value;  // of a Perform
    };

    std::vector<Edit> edits() const;
    std::vector<std::string> faults() const;
    // The parameters whose edit is begun and not yet ended.
    std::vector<Steinberg::Vst::ParamID> openEdits() const;
    std::vector<Steinberg::int32> restarts() const;

    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id,
                                              Steinberg::Vst::ParamValue valueNormalized) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

private:
    mutable std::mutex m_lock;
    std::vector<Edit> m_edits;
    std::vector<std::string> m_faults;
    std::vector<Steinberg::Vst::ParamID> m_open;
    std::vector<Steinberg::int32> m_restarts;
};

}  // namespace lagwell::host
