// SPDX-License-Identifier: GPL-3.0-or-later
#include "HostContext.h"

#include <algorithm>
#include <cstring>

#include "Strings.h"

namespace lagwell::host {

using namespace Steinberg;
using namespace Steinberg::Vst;

template <class T>
tresult AttributeList::set(AttrID id, T&& value) {
    if (!id) return kInvalidArgument;
    m_values[id] = std::forward<T>(value);
    return kResultOk;
}

template <class T>
const T* AttributeList::get(AttrID id) const {
    if (!id) return nullptr;
    const auto at = m_values.find(id);
    return at == m_values.end() ? nullptr : std::get_if<T>(&at->second);
}

tresult PLUGIN_API AttributeList::setInt(AttrID id, int64 value) { return set(id, value); }

tresult PLUGIN_API AttributeList::getInt(AttrID id, int64& value) {
    const int64* v = get<int64>(id);
    if (!v) return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult PLUGIN_API AttributeList::setFloat(AttrID id, double value) { return set(id, value); }

tresult PLUGIN_API AttributeList::getFloat(AttrID id, double& value) {
    const double* v = get<double>(id);
    if (!v) return kResultFalse;
    value = *v;
    return kResultOk;
}

tresult PLUGIN_API AttributeList::setString(AttrID id, const TChar* string) {
    if (!string) return kInvalidArgument;
    return set(id, std::u16string(reinterpret_cast<const char16_t*>(string)));
}

tresult PLUGIN_API AttributeList::getString(AttrID id, TChar* string, uint32 sizeInBytes) {
    const std::u16string* v = get<std::u16string>(id);
    const size_t capacity = sizeInBytes / sizeof(TChar);
    if (!v || !string || capacity == 0) return kResultFalse;
    const size_t n = std::min(v->size(), capacity - 1);
    std::copy_n(v->begin(), n, string);
    string[n] = 0;
    return kResultOk;
}

tresult PLUGIN_API AttributeList::setBinary(AttrID id, const void* data, uint32 sizeInBytes) {
    if (!data && sizeInBytes > 0) return kInvalidArgument;
    const char* bytes = static_cast<const char*>(data);
    return set(id, std::vector<char>(bytes, bytes + sizeInBytes));
}

tresult PLUGIN_API AttributeList::getBinary(AttrID id, const void*& data, uint32& sizeInBytes) {
    const std::vector<char>* v = get<std::vector<char>>(id);
    if (!v) return kResultFalse;
    data = v->data();
    sizeInBytes = static_cast<uint32>(v->size());
    return kResultOk;
}

Message::Message() : m_attributes(new AttributeList) {}

Message::~Message() { m_attributes->release(); }

tresult PLUGIN_API HostApplication::getName(String128 name) {
    copyUtf16(m_name, name);
    return kResultOk;
}

tresult PLUGIN_API HostApplication::createInstance(TUID cid, TUID iid, void** obj) {
    FUnknown* made = nullptr;
    if (FUnknownPrivate::iidEqual(cid, IMessage::iid))
        made = static_cast<IMessage*>(new Message);
    else if (FUnknownPrivate::iidEqual(cid, IAttributeList::iid))
        made = static_cast<IAttributeList*>(new AttributeList);
    if (!made) {
        *obj = nullptr;
        return kNoInterface;
    }
    const tresult result = made->queryInterface(iid, obj);
    made->release();
    return result;
}

std::vector<ComponentHandler::Edit> ComponentHandler::edits() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_edits;
}

std::vector<int32> ComponentHandler::restarts() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_restarts;
}

std::vector<std::string> ComponentHandler::faults() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_faults;
}

std::vector<ParamID> ComponentHandler::openEdits() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_open;
}

tresult PLUGIN_API ComponentHandler::beginEdit(ParamID id) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_edits.push_back({Kind::Begin, id, 0.0});
    if (std::find(m_open.begin(), m_open.end(), id) != m_open.end()) {
        m_faults.push_back("beginEdit of " + std::to_string(id) + " while its edit is open");
        return kResultFalse;
    }
    m_open.push_back(id);
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::performEdit(ParamID id, ParamValue valueNormalized) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_edits.push_back({Kind::Perform, id, valueNormalized});
    if (std::find(m_open.begin(), m_open.end(), id) == m_open.end()) {
        m_faults.push_back("performEdit of " + std::to_string(id) + " outside beginEdit/endEdit");
        return kResultFalse;
    }
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::endEdit(ParamID id) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_edits.push_back({Kind::End, id, 0.0});
    const auto open = std::find(m_open.begin(), m_open.end(), id);
    if (open == m_open.end()) {
        m_faults.push_back("endEdit of " + std::to_string(id) + " without beginEdit");
        return kResultFalse;
    }
    m_open.erase(open);
    return kResultOk;
}

tresult PLUGIN_API ComponentHandler::restartComponent(int32 flags) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_restarts.push_back(flags);
    return kResultOk;
}

}  // namespace lagwell::host
