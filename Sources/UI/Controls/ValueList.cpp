// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/ValueList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "Audio/Converters/ParamConverter.h"
#include "Core/Notify.h"
#include "Other/AudioInterfaceClient.h"
#include "UI/Controls/RoutingLabels.h"
#include "UI/ParamLink.h"

#define ZEL_SOURCE_TAG "CValueList"

namespace zel {

namespace {

bool sameItems(const std::vector<CValueList::CItem>& a, const std::vector<CValueList::CItem>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].title != b[i].title || a[i].value != b[i].value || a[i].group != b[i].group ||
            a[i].isEnabled != b[i].isEnabled)
            return false;
    return true;
}

// The decimals of a format such as "%1.0f" or "%.2f".
int decimalsOf(const CString& format) {
    const std::string text = format.utf8();
    const size_t dot = text.find('.');
    if (dot == std::string::npos) return 0;
    int decimals = 0;
    for (size_t i = dot + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        decimals = decimals * 10 + (text[i] - '0');
    return std::min(decimals, 9);
}

CString numberText(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return CString(buffer);
}

}  // namespace

// ---------------------------------------------------------------- manual

void CValueList::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("update-values", &CValueList::onUpdate);
}

CErrorPtr CValueList::init() {
    ZEL_TRY(CObject::init());
    m_ready = true;
    ZEL_TRY(refresh());
    return nullptr;
}

CErrorPtr CValueList::onUpdate(CObject*, CObject*) { return refresh(); }

CErrorPtr CValueList::setItems(std::vector<CItem> items) {
    m_given = std::move(items);
    m_isGiven = true;
    return refresh();
}

CErrorPtr CValueList::readItems(std::vector<CItem>& out) {
    if (m_isGiven) {
        out.insert(out.end(), m_given.begin(), m_given.end());
        return nullptr;
    }
    for (const auto& child : children()) {
        if (!child->hasAttr("content") && !child->hasAttr("title")) continue;
        CItem item;
        item.title = child->hasAttr("content") ? child->getAttr("content") : child->getAttr("title");
        // A line break of the document's texts.
        for (size_t at; (at = item.title.find(CString("[BR]"))) != CString::npos;)
            item.title = item.title.substr(0, at) + "\n" + item.title.substr(at + 4);
        item.value = child->getReal("value", double(out.size()));
        item.isEnabled = !child->getBool("is-disabled", false);
        out.push_back(item);
    }
    return nullptr;
}

CErrorPtr CValueList::refresh() {
    if (!m_ready) return nullptr;
    std::vector<CItem> items;
    if (getBool("add-empty-value", false)) items.push_back({CString(), -1, -1, true});
    ZEL_TRY(readItems(items));
    const long long capacity = getInt("max-capacity", 0);
    if (capacity > 0 && items.size() > size_t(capacity)) items.resize(size_t(capacity));
    if (sameItems(items, m_items)) return nullptr;
    m_items = std::move(items);
    ZEL_TRY(CNotifyServer::instance().notify(this, "values-changed", nullptr));
    return nullptr;
}

// ---------------------------------------------------------------- audio

void CValueListAudio::setupClass(CClassInfo& info) {
    CValueList::setupClass(info);
    info.onEvent("ui-param-ready", &CValueListAudio::onChanged);
    info.onEvent("value-changed", &CValueListAudio::onChanged);
    info.onEvent("audio-facts-changed", &CValueListAudio::onChanged);
}

CErrorPtr CValueListAudio::init() {
    m_mode = hasAttr("mode") ? getAttr("mode") : CString("manual");
    static const char* const kModes[] = {"manual",       "audio-param-values",  "audio-enum-value", "audio-min-max",
                                         "audio-groups", "audio-channels",      "audio-curgroup",   "audio-ins",
                                         "audio-outs",   "audio-routing-labels"};
    if (std::none_of(std::begin(kModes), std::end(kModes), [&](const char* m) { return m_mode == CString(m); }))
        return ZEL_ERROR("@zelstr_CValueListAudio_init_Mode Invalid value list mode specified: %1", m_mode);
    if (m_mode == CString("audio-routing-labels")) {
        m_labelMode = hasAttr("routing-label-mode") ? getAttr("routing-label-mode") : CString("full");
        if (!CRoutingLabels::isMode(m_labelMode))
            return ZEL_ERROR("@zelstr_CValueListAudio_init_LabelMode Invalid routing label mode specified: %1",
                             m_labelMode);
    }
    if (m_mode != CString("manual")) {
        const CString path = hasAttr("interface-client") ? getAttr("interface-client") : CString("ui.interface-client");
        auto* client = dynamic_cast<CAudioInterfaceClient*>(findObject(path));
        if (!client) return ZEL_ERROR("@zelstr_CValueListAudio_init_Client Unable to locate interface client.");
        for (const char* event :
             {"update-internal-channel-count", "update-group-count", "update-io-channel-counts", "group-names-changed"})
            ZEL_TRY(listenObject(client, event, "audio-facts-changed"));
        if (CObject* selector = getAttr("group-selector").empty() ? nullptr : findObject(getAttr("group-selector")))
            ZEL_TRY(listenObject(selector, "group-change", "audio-facts-changed"));
    }
    ZEL_TRY(CValueList::init());
    return nullptr;
}

CErrorPtr CValueListAudio::onChanged(CObject*, CObject*) { return refresh(); }

CErrorPtr CValueListAudio::readItems(std::vector<CItem>& out) {
    if (m_mode == CString("manual")) return CValueList::readItems(out);
    if (m_mode == CString("audio-param-values") || m_mode == CString("audio-enum-value") ||
        m_mode == CString("audio-min-max"))
        return readParamValues(out);
    auto* client = dynamic_cast<CAudioInterfaceClient*>(
        findObject(hasAttr("interface-client") ? getAttr("interface-client") : CString("ui.interface-client")));
    if (!client) return nullptr;
    if (m_mode == CString("audio-groups")) {
        auto* names = dynamic_cast<CUIParam*>(findChild("ui-param-group-names"));
        for (size_t g = 0; g < client->groupCount(); ++g) {
            CItem item;
            item.value = double(g);
            item.group = int(g);
            if (names && names->isReady() && names->bridge()) item.title = names->bridge()->text(0, g);
            if (item.title.empty() && g < client->groupNames().size()) item.title = client->groupNames()[g];
            if (item.title.empty()) item.title = toText((long long)(g + 1));
            out.push_back(item);
        }
    } else if (m_mode == CString("audio-channels")) {
        readChannels(out, -1);
    } else if (m_mode == CString("audio-routing-labels")) {
        readRoutingLabels(out);
    } else if (m_mode == CString("audio-curgroup")) {
        CObject* selector = getAttr("group-selector").empty() ? nullptr : findObject(getAttr("group-selector"));
        readChannels(out, selector ? int(selector->getInt("selected-group", 0)) : 0);
    } else {
        const bool ins = m_mode == CString("audio-ins");
        const uint32_t count = ins ? client->ioChannelCounts().inputs : client->ioChannelCounts().outputs;
        const std::vector<CString>& labels = client->channelLabels();
        // The user's names of the inputs come first, then the host's labels.
        auto* names = ins ? dynamic_cast<CUIParam*>(findChild("ui-param-in-channel-names")) : nullptr;
        for (uint32_t c = 0; c < count; ++c) {
            CItem item;
            item.value = double(c);
            if (names && names->isReady() && names->bridge()) item.title = names->bridge()->text(0, c);
            if (item.title.utf8().find_first_not_of(' ') == std::string::npos)
                item.title = ins && c < labels.size() && !labels[c].empty() ? labels[c] : toText((long long)(c + 1));
            out.push_back(item);
        }
    }
    return nullptr;
}

void CValueListAudio::readChannels(std::vector<CItem>& out, int onlyGroup) {
    auto* client = dynamic_cast<CAudioInterfaceClient*>(
        findObject(hasAttr("interface-client") ? getAttr("interface-client") : CString("ui.interface-client")));
    if (!client) return;
    auto* names = dynamic_cast<CUIParam*>(findChild("ui-param-in-channel-names"));
    auto* grouping = dynamic_cast<CUIParam*>(findChild("ui-param-grouping"));
    for (size_t c = 0; c < client->internalChannelCount(); ++c) {
        CItem item;
        item.value = double(c);
        if (grouping && grouping->isReady() && grouping->bridge())
            item.group = int(std::lround(grouping->bridge()->value(0, c)));
        if (onlyGroup >= 0 && item.group != onlyGroup) continue;
        if (names && names->isReady() && names->bridge()) item.title = names->bridge()->text(0, c);
        if (item.title.empty() || item.title == CString(" ")) item.title = toText((long long)(c + 1));
        out.push_back(item);
    }
}

void CValueListAudio::readRoutingLabels(std::vector<CItem>& out) {
    // The routing as the instance holds it now; a bridge not yet ready reads as empty.
    const auto bridgeOf = [&](const char* name) -> const CParamBridge* {
        auto* param = dynamic_cast<CUIParam*>(findChild(name));
        return param && param->isReady() ? param->bridge() : nullptr;
    };
    CRoutingLabels::CRouting routing;
    if (const CParamBridge* b = bridgeOf("ui-param-in-routing"))
        for (size_t h = 0; h < b->elementCount(0); ++h) routing.inRouting.push_back(int(std::lround(b->value(0, h))));
    if (const CParamBridge* b = bridgeOf("ui-param-grouping"))
        for (size_t c = 0; c < b->elementCount(0); ++c) routing.grouping.push_back(int(std::lround(b->value(0, c))));
    if (const CParamBridge* b = bridgeOf("ui-param-in-channel-names"))
        for (size_t h = 0; h < b->elementCount(0); ++h) routing.inputNames.push_back(b->text(0, h));
    if (const CParamBridge* b = bridgeOf("ui-param-group-names"))
        for (size_t g = 0; g < b->elementCount(0); ++g) routing.groupNames.push_back(b->text(0, g));
    for (const CRoutingLabels::CLabel& label : CRoutingLabels::labels(routing, m_labelMode))
        out.push_back({label.title, double(label.value), label.group, label.isActive});
}

CErrorPtr CValueListAudio::readParamValues(std::vector<CItem>& out) {
    auto* param = dynamic_cast<CUIParam*>(findChild("ui-param-value"));
    if (!param || !param->isReady()) return nullptr;
    const CAudioParamInfo* info = param->bridge() ? param->bridge()->info() : nullptr;
    const double low = std::ceil(std::min(param->minValue(), param->maxValue()));
    const double high = std::floor(std::max(param->minValue(), param->maxValue()));
    // A parameter of a hundred thousand steps is no list.
    constexpr double kMostItems = 1000;
    if (high - low >= kMostItems) return nullptr;
    if (m_mode == CString("audio-min-max") || !info || info->converters.empty() || !info->converters[0]) {
        const int decimals = decimalsOf(getAttr("format"));
        for (double v = low; v <= high; ++v) out.push_back({numberText(v, decimals), v, -1, true});
        return nullptr;
    }
    const CAudioParamConverter& converter = *info->converters[0];
    const long long first = getInt("enum-min-index", 0);
    const long long last = getInt("enum-max-index", -1);
    const bool hideReserve = getBool("is-hide-reserve", false);
    for (double v = low; v <= high; ++v) {
        const long long index = (long long)(v - low);
        if (index < first || (last >= 0 && index > last)) continue;
        CItem item{converter.plainToText(*info, 0, v), v, -1, true};
        if (hideReserve && item.title.startsWith("Reserve")) continue;
        out.push_back(item);
    }
    return nullptr;
}

}  // namespace zel
