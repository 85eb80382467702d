// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The FUnknown side of the objects that the host hands to a plug-in: the
// interface lookup, and the two ways such an object lives. A host-owned
// object (the host context, the component handler, streams and parameter
// changes of a call) counts references only to answer them; the host
// destroys it when it is done with the plug-in. A shared object (messages
// and attribute lists made for the plug-in) is deleted by its last release.

#include <atomic>

#include "pluginterfaces/base/funknown.h"

namespace lagwell::host {

template <class First, class... Rest>
class Implements : public First, public Rest... {
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
        void* found = nullptr;
        if (Steinberg::FUnknownPrivate::iidEqual(iid, Steinberg::FUnknown::iid))
            found = static_cast<Steinberg::FUnknown*>(static_cast<First*>(this));
        else
            find<First, Rest...>(iid, found);
        *obj = found;
        if (!found) return Steinberg::kNoInterface;
        this->addRef();
        return Steinberg::kResultOk;
    }

private:
    template <class I, class... More>
    void find(const Steinberg::TUID iid, void*& found) {
        if (Steinberg::FUnknownPrivate::iidEqual(iid, I::iid))
            found = static_cast<I*>(this);
        else if constexpr (sizeof...(More) > 0)
            find<More...>(iid, found);
    }
};

template <class... Interfaces>
class HostOwned : public Implements<Interfaces...> {
public:
    HostOwned() = default;
    HostOwned(const HostOwned&) = delete;
    HostOwned& operator=(const HostOwned&) = delete;

    Steinberg::uint32 PLUGIN_API addRef() override { return ++m_refs; }
    Steinberg::uint32 PLUGIN_API release() override { return --m_refs; }

protected:
    ~HostOwned() = default;

private:
    std::atomic<Steinberg::uint32> m_refs{1};
};

template <class... Interfaces>
class Shared : public Implements<Interfaces...> {
public:
    Shared() = default;
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    virtual ~Shared() = default;

    Steinberg::uint32 PLUGIN_API addRef() override { return ++m_refs; }
    Steinberg::uint32 PLUGIN_API release() override {
        const Steinberg::uint32 left = --m_refs;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<Steinberg::uint32> m_refs{1};
};

}  // namespace lagwell::host
