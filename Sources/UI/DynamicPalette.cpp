// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/DynamicPalette.h"

#include <algorithm>
#include <cmath>

#include "Core/AppData.h"
#include "Core/Debug.h"
#include "Core/Notify.h"
#include "UI/PaletteCache.h"
#include "UI/ParamLink.h"
#include "UI/View.h"

#define ZEL_SOURCE_TAG "DynamicPalette"

namespace zel {

namespace {

constexpr uint32_t kCacheTag = makeTag("adat");

int channel(CColor c, int shift) { return int(c >> shift & 0xff); }

int clampByte(double v) { return int(std::lround(std::clamp(v, 0.0, 255.0))); }

// Hover lightens a role; one already near white darkens instead, so that
// the change shows on every scheme.
double hoverBrightness(CColor colour) {
    const double luma = 0.299 * channel(colour, 16) + 0.587 * channel(colour, 8) + 0.114 * channel(colour, 0);
    return luma > 200.0 ? -8.0 : 12.0;
}

CColor mix(CColor from, CColor to, double f) {
    CColor out = 0;
    for (int shift = 0; shift <= 16; shift += 8)
        out |= CColor(clampByte(channel(from, shift) + (channel(to, shift) - channel(from, shift)) * f)) << shift;
    return out;
}

// A role attribute as the document or the user gave it, if either did.
bool ownReal(const CDynamicColor& role, const CPaletteEntry* stored, const char* attr, double CPaletteEntry::*field,
             double& out) {
    if (stored) {
        out = stored->*field;
        return true;
    }
    return role.readReal(attr, out);
}

bool ownTone(const CObject& object, const char* attr, int32_t& out) {
    const std::string text = object.getAttr(attr).utf8();
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    out = int32_t(std::stoul(text, nullptr, 16));
    return true;
}

}  // namespace

CColor applyBrightness(CColor tone, double brightness) {
    const double b = std::clamp(brightness, -100.0, 100.0) / 100.0;
    CColor out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double v = channel(tone, shift);
        out |= CColor(clampByte(b < 0 ? v * (1.0 + b) : v + (255.0 - v) * b)) << shift;
    }
    return out;
}

CPreparedColor prepareColor(const CRoleValues& values) {
    CPreparedColor p;
    p.values = values;
    p.colour = applyBrightness(values.tone, values.brightness);
    p.opacity = std::clamp(values.opacity, 0.0, 1.0);
    // Contrast scales the image's shading around mid-grey (0.5 keeps it,
    // 0 flattens it to the role's colour, 1 doubles it); the shaded level
    // then runs black - colour - white as 0 - 128 - 255.
    const double gain = std::max(0.0, values.contrast) * 2.0;
    const CColor alpha = CColor(clampByte(p.opacity * 255.0)) << 24;
    for (int g = 0; g < 256; ++g) {
        const double s = std::clamp(128.0 + (g - 128) * gain, 0.0, 255.0);
        CColor out = alpha;
        for (int shift = 0; shift <= 16; shift += 8) {
            const double c = channel(p.colour, shift);
            out |= CColor(clampByte(s <= 128.0 ? c * s / 128.0 : c + (255.0 - c) * (s - 128.0) / 127.0)) << shift;
        }
        p.ramp[size_t(g)] = out;
    }
    return p;
}

CColor CPreparedColor::gradient(int step) const {
    std::vector<CColor> stops{colour};
    for (int32_t t : {values.tone2, values.tone3})
        if (t >= 0) stops.push_back(applyBrightness(CColor(t), values.brightness));
    const int size = std::max(1, values.gradientSize);
    if (stops.size() == 1 || size == 1) return colour;
    // One cycle runs through the stops and back to the first.
    const int at = ((step % size) + size) % size;
    const double pos = double(at) * double(stops.size()) / double(size);
    const size_t i = size_t(pos);
    return mix(stops[i], stops[(i + 1) % stops.size()], pos - double(i));
}

CErrorPtr CDynamicColor::init() {
    ZEL_TRY(CObject::init());
    if (isCopyParent() && !dynamic_cast<CDynamicColor*>(parent()))
        return ZEL_ERROR("@zelstr_CDynamicColor_init_NoParent Parent dynamic color not found.");
    return nullptr;
}

void CDynamicPalette::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    // A parameter ready at opening is taken after the build; one that
    // gets ready later sends its value as a change.
    info.onEvent("value-changed", &CDynamicPalette::onParamValue);
}

CErrorPtr CDynamicPalette::init() {
    ZEL_TRY(CObject::init());
    const double started = secondsSinceStart();
    m_param = dynamic_cast<CUIParam*>(findChild("ui-param-palette"));
    readCache();
    ZEL_TRY(build(m_stored, m_prepared));
    m_built = true;
    debugLog("Dynamic palette init time 1: %f s @ %f s", secondsSinceStart() - started, secondsSinceStart());
    // The palette parameter's colours follow at once: the cache keeps those.
    if (!m_param) writeCache();
    debugLog("Dynamic palette init time 2: %f s @ %f s", secondsSinceStart() - started, secondsSinceStart());
    if (m_param && m_param->isReady()) ZEL_TRY(onParamValue(nullptr, m_param));
    return nullptr;
}

CErrorPtr CDynamicPalette::onParamValue(CObject*, CObject*) {
    if (!m_built || !m_param) return nullptr;
    const std::vector<uint8_t> data = m_param->bytes();
    // A parameter without a record leaves the document's palette.
    if (data.empty()) return nullptr;
    if (CErrorPtr err = setPaletteData(data, "palette-updated-from-param")) debugLog("%s", err->describe().c_str());
    return nullptr;
}

CErrorPtr CDynamicPalette::storePaletteData(std::vector<uint8_t> data) {
    std::vector<CPaletteEntry> entries;
    ZEL_TRY(readPaletteData(data, entries));
    if (!m_param) return setPaletteData(data);
    ZEL_TRY(m_param->setBytes(std::move(data)));
    return nullptr;
}

void CDynamicPalette::readCache() {
    std::vector<uint8_t> data;
    const CString item = getAttr("palette-cache");
    // A missing or damaged cache is only slower: the build prepares every
    // role and writes it anew.
    if (item.empty() || CAppDataLocal::instance().readItem(item, data, kCacheTag)) return;
    if (CErrorPtr err = CPaletteCache::read(data, m_cache)) debugLog("%s", err->describe().c_str());
}

void CDynamicPalette::writeCache() {
    const CString item = getAttr("palette-cache");
    if (item.empty() || m_misses == 0) return;
    const std::vector<uint8_t> data = CPaletteCache::write(m_prepared);
    if (CErrorPtr err = CAppDataLocal::instance().writeItem(item, data.data(), data.size(), kCacheTag)) {
        debugLog("%s", err->describe().c_str());
        return;
    }
    m_cache = m_prepared;
}

CPreparedColor CDynamicPalette::prepare(const std::string& role, const CRoleValues& values) {
    if (const CPreparedColor* cached = CPaletteCache::find(m_cache, role, values)) return *cached;
    ++m_misses;
    return prepareColor(values);
}

CErrorPtr CDynamicPalette::build(const std::map<std::string, CPaletteEntry>& stored,
                                 std::map<std::string, CPreparedColor>& out) {
    m_misses = 0;
    CRoleValues base;
    int32_t tone = 0;
    if (ownTone(*this, "tone", tone)) base.tone = CColor(tone);
    base.brightness = getReal("brightness", 0.0);
    base.contrast = getReal("contrast", 0.5);
    base.opacity = getReal("opacity", 1.0);
    base.gradientSize = int(getInt("gradient-size", 1));
    std::map<std::string, CPreparedColor> prepared;
    for (const auto& child : children())
        if (auto* role = dynamic_cast<const CDynamicColor*>(child.get()))
            ZEL_TRY(resolve(*role, base, stored, prepared));
    out = std::move(prepared);
    return nullptr;
}

CErrorPtr CDynamicPalette::resolve(const CDynamicColor& role, const CRoleValues& parent,
                                   const std::map<std::string, CPaletteEntry>& stored,
                                   std::map<std::string, CPreparedColor>& out) {
    const std::string name = role.name().utf8();
    const auto found = stored.find(name);
    const CPaletteEntry* entry = role.isCopyParent() || found == stored.end() ? nullptr : &found->second;
    CRoleValues v = parent;
    if (!role.isCopyParent()) {
        // Below another role the tone is the parent's final colour.
        v.tone = applyBrightness(parent.tone, parent.brightness);
        v.brightness = 0.0;
        int32_t tone = 0;
        // A variant's stored tone is only what its parent was when stored:
        // it keeps following its parent.
        if (entry && role.hasAttr("tone")) {
            v.tone = entry->tone;
            v.tone2 = entry->tone2;
            v.tone3 = entry->tone3;
        } else {
            if (ownTone(role, "tone", tone)) v.tone = CColor(tone);
            if (ownTone(role, "tone2", tone)) v.tone2 = tone;
            if (ownTone(role, "tone3", tone)) v.tone3 = tone;
        }
        double value = 0.0;
        if (ownReal(role, entry, "brightness", &CPaletteEntry::brightness, value)) v.brightness = value;
        if (ownReal(role, entry, "contrast", &CPaletteEntry::contrast, value)) v.contrast = value;
        if (ownReal(role, entry, "opacity", &CPaletteEntry::opacity, value)) v.opacity = parent.opacity * value;
        if (role.hasAttr("gradient-size")) {
            long long size = 0;
            if (!role.readInt("gradient-size", size) || size < 1)
                return ZEL_ERROR("@zelstr_CDynamicColor_init_NoGradientSize Gradient size not defined.");
            v.gradientSize = int(size);
        }
    }
    const CPreparedColor& mine = out[name] = prepare(name, v);
    if (role.isHoverable()) {
        CRoleValues hover = v;
        hover.tone = mine.colour;
        hover.brightness = hoverBrightness(mine.colour);
        out[name + "_Hover"] = prepare(name + "_Hover", hover);
    }
    for (const auto& child : role.children())
        if (auto* sub = dynamic_cast<const CDynamicColor*>(child.get())) ZEL_TRY(resolve(*sub, v, stored, out));
    return nullptr;
}

const CPreparedColor* CDynamicPalette::find(const CString& role) const {
    const auto it = m_prepared.find(role.utf8());
    if (it != m_prepared.end()) return &it->second;
    debugLog("Color not found: '%s'", role.utf8().c_str());
    return nullptr;
}

std::vector<uint8_t> CDynamicPalette::paletteData() const {
    std::vector<CPaletteEntry> entries;
    std::vector<const CObject*> pending{this};
    while (!pending.empty()) {
        const CObject* at = pending.back();
        pending.pop_back();
        // Depth first in document order.
        for (auto it = at->children().rbegin(); it != at->children().rend(); ++it)
            if (dynamic_cast<const CDynamicColor*>(it->get())) pending.push_back(it->get());
        // Every role with values of its own; those that copy their parent
        // have none.
        auto* role = dynamic_cast<const CDynamicColor*>(at);
        if (!role || role->isCopyParent()) continue;
        const auto stored = m_stored.find(role->name().utf8());
        const CPreparedColor& p = m_prepared.at(role->name().utf8());
        CPaletteEntry e;
        e.name = role->name();
        if (stored != m_stored.end()) {
            e = stored->second;
            if (!role->hasAttr("tone")) {
                e.tone = p.values.tone;
                e.tone2 = p.values.tone2;
                e.tone3 = p.values.tone3;
            }
        } else {
            e.tone = p.values.tone;
            e.tone2 = p.values.tone2;
            e.tone3 = p.values.tone3;
            e.brightness = role->getReal("brightness", 0.0);
            e.contrast = p.values.contrast;
            e.opacity = role->getReal("opacity", 1.0);
        }
        entries.push_back(std::move(e));
    }
    return writePaletteData(entries);
}

CErrorPtr CDynamicPalette::setPaletteData(const std::vector<uint8_t>& data, const char* event) {
    std::vector<CPaletteEntry> entries;
    ZEL_TRY(readPaletteData(data, entries));
    std::map<std::string, CPaletteEntry> stored;
    for (CPaletteEntry& e : entries) stored[e.name.utf8()] = std::move(e);
    std::map<std::string, CPreparedColor> prepared;
    ZEL_TRY(build(stored, prepared));
    m_stored = std::move(stored);
    m_prepared = std::move(prepared);
    writeCache();
    notifyViews(event);
    return nullptr;
}

void CDynamicPalette::notifyViews(const char* event) {
    CObject* top = parent() ? parent() : this;
    std::vector<CObject*> pending{top};
    while (!pending.empty()) {
        CObject* at = pending.back();
        pending.pop_back();
        if (auto* view = dynamic_cast<CView*>(at))
            if (CErrorPtr err = view->runViewEvent(event, nullptr, this)) CSystem::showError(*err);
        for (const auto& child : at->children()) pending.push_back(child.get());
    }
}

CErrorPtr CDynamicPalette::of(const CObject& object, const CDynamicPalette*& out) {
    out = nullptr;
    const CString path = object.getAttr("palette");
    if (!path.empty()) {
        CObject* named = const_cast<CObject&>(object).findObject(path);
        if (!named) return ZEL_ERROR("@zelstr_CView_init_NoPaletteObject Unable to find palette object '%1'.", path);
        out = dynamic_cast<const CDynamicPalette*>(named);
        if (!out)
            if (CObject* inner = named->findChild("palette")) out = dynamic_cast<const CDynamicPalette*>(inner);
        if (!out) return ZEL_ERROR("@zelstr_CView_init_NoPalette Unable to find palette in palette object '%1'.", path);
        return nullptr;
    }
    for (const CObject* at = object.parent(); at; at = at->parent())
        if (CObject* child = at->findChild("palette"))
            if ((out = dynamic_cast<const CDynamicPalette*>(child))) return nullptr;
    return nullptr;
}

}  // namespace zel
