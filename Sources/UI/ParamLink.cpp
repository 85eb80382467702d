// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ParamLink.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

#include "Audio/Converters/ParamConverter.h"
#include "Core/SharedAttribute.h"
#include "Other/ParamInterfaceConnector.h"
#include "UI/DynamicPalette.h"
#include "UI/ParamGroupSelector.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/ViewState.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "ParamLink"

namespace zel {

CErrorPtr deliverEvent(CObject& target, const CString& name, CObject* params, CObject* sender) {
    if (auto* view = dynamic_cast<CView*>(&target)) {
        ZEL_TRY(view->runViewEvent(name, params, sender));
    } else if (target.hasEventHandler(name)) {
        ZEL_TRY(target.runEvent(name, params, sender));
    }
    if (sender) ZEL_TRY(CNotifyServer::instance().notify(sender, name, params));
    return nullptr;
}

// ---------------------------------------------------------------- event bridge

void CUIEventBridge::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("tick", &CUIEventBridge::onTick);
}

CErrorPtr CUIEventBridge::init() {
    ZEL_TRY(CObject::init());
    const CString clientPath = hasAttr("interface-client") ? getAttr("interface-client") : CString(".interface-client");
    if (CObject* found = findObject(clientPath)) {
        m_client = dynamic_cast<CParamInterfaceClient*>(found);
        if (m_client && !m_client->getAttr("client-connector").empty())
            ZEL_TRY(m_client->findObjectByAttr("client-connector", m_connector));
    }
    m_timer = dynamic_cast<CUpdateTimer*>(findChild("update-timer"));
    if (m_timer) ZEL_TRY(m_timer->start());
    return nullptr;
}

CErrorPtr CUIEventBridge::dispatchEvent(const CString& name, CObject* params, CObject* sender) {
    if (hasEventHandler(name)) {
        ZEL_TRY(CObject::dispatchEvent(name, params, sender));
        return nullptr;
    }
    ZEL_TRY(CNotifyServer::instance().notify(this, name, params));
    return nullptr;
}

void CUIEventBridge::addBridge(CParamBridge& bridge) {
    if (std::find(m_bridges.begin(), m_bridges.end(), &bridge) == m_bridges.end()) m_bridges.push_back(&bridge);
}

void CUIEventBridge::removeBridge(CParamBridge& bridge) {
    m_bridges.erase(std::remove(m_bridges.begin(), m_bridges.end(), &bridge), m_bridges.end());
}

CErrorPtr CUIEventBridge::onTick(CObject*, CObject* sender) {
    if (sender == m_timer) ZEL_TRY(refresh());
    return nullptr;
}

CErrorPtr CUIEventBridge::refresh() {
    ++m_refreshes;
    CErrorPtr first;
    if (m_client) {
        // Taken in at once rather than on a later turn of the loop, so that
        // this frame's views already show what the instance answered.
        first = m_client->frame();
        if (m_connector)
            if (CErrorPtr err = m_connector->deliverPending(); err && !first) first = ZEL_PASS(err);
    }
    // Users may release bridges while they hear of a change.
    const std::vector<CParamBridge*> bridges = m_bridges;
    for (CParamBridge* bridge : bridges) {
        if (std::find(m_bridges.begin(), m_bridges.end(), bridge) == m_bridges.end()) continue;
        if (CErrorPtr err = bridge->refresh(); err && !first) first = ZEL_PASS(err);
    }
    return first;
}

// ---------------------------------------------------------------- param bridge

CParamBridge::~CParamBridge() {
    if (m_events) m_events->removeBridge(*this);
    if (m_param && m_client) (void)m_client->unlistenParam(*m_param);
}

CErrorPtr CParamBridge::init() {
    ZEL_TRY(CObject::init());
    if (!hasAttr("interface-client")) ZEL_TRY(setAttr("interface-client", "ui.interface-client"));
    ZEL_TRY(findObjectByAttr("interface-client", m_client));
    const CString param = getAttr("param");
    if (param.empty())
        return ZEL_ERROR("@zelstr_CParamBridge_init_NoParam Parameter name is not set in %1.", fullName());
    ZEL_TRY(m_client->listenParam(param, m_param));
    m_param->addListener(m_listener);
    // A parameter another bridge already listens to is known already.
    m_replacing = m_param->hasInfo();
    for (CObject* o = parent(); o; o = o->parent())
        if ((m_events = dynamic_cast<CUIEventBridge*>(o))) break;
    if (!m_events) m_events = dynamic_cast<CUIEventBridge*>(findObject("ui"));
    if (m_events) m_events->addBridge(*this);
    return nullptr;
}

void CParamBridge::onParamUpdate(CUpdateNotifier&, const CString& what) {
    if (what == bridge::kUpdateParamInfo) {
        m_replacing = true;
        m_pending.clear();
        return;
    }
    if (what != bridge::kUpdateParam || m_replacing) return;
    const auto& slice = m_param->lastSlice();
    m_pending.push_back({slice.group, slice.first, slice.count});
}

CErrorPtr CParamBridge::refresh() {
    if (!isReady() || (!m_replacing && m_pending.empty())) return nullptr;
    std::vector<CPending> pending;
    pending.swap(m_pending);
    if (m_replacing) {
        m_replacing = false;
        CObject params;
        params.setInt("group", 0);
        params.setInt("element-offset", 0);
        params.setInt("element-count", 0);
        params.setBool("is-replacing", true);
        ZEL_TRY(CNotifyServer::instance().notify(this, "param-change", &params));
        return nullptr;
    }
    for (const CPending& p : pending) {
        CObject params;
        params.setInt("group", p.group);
        params.setInt("element-offset", p.first);
        params.setInt("element-count", p.count);
        params.setBool("is-replacing", false);
        ZEL_TRY(CNotifyServer::instance().notify(this, "param-change", &params));
    }
    return nullptr;
}

double CParamBridge::value(size_t group, size_t element, size_t component) const {
    if (!isReady()) return 0.0;
    const CAudioParamStorage& v = m_param->value();
    if (v.info().isSingleGroup) group = 0;
    if (v.info().isSingleElement) element = 0;
    return v.read(group, element, component);
}

CString CParamBridge::text(size_t group, size_t element) const {
    if (!isReady()) return CString();
    return m_param->value().text(m_param->info().isSingleGroup ? 0 : group, element);
}

std::vector<uint8_t> CParamBridge::bytes(size_t group, size_t element) const {
    if (!isReady()) return {};
    return m_param->value().bytes(m_param->info().isSingleGroup ? 0 : group, element);
}

size_t CParamBridge::elementCount(size_t group) const {
    if (!isReady()) return 0;
    const CAudioParamStorage& v = m_param->value();
    if (v.info().isSingleGroup) group = 0;
    return std::max(v.value().elementCount(group), v.info().defaultValue.elementCount(0));
}

uint32_t CParamBridge::newUndoId() {
    static std::atomic<uint32_t> last{0};
    uint32_t id;
    do id = ++last;
    while (id == bridge::kNoUndo);
    return id;
}

uint32_t CParamBridge::undoIdFor(const CChange& where) const {
    if (!where.doCreateUndo) return bridge::kNoUndo;
    return where.undoId != bridge::kNoUndo ? where.undoId : newUndoId();
}

size_t CParamBridge::elementFor(const CChange& where) const {
    return where.useFirstElement || (isReady() && m_param->info().isSingleElement) ? 0 : where.element;
}

CErrorPtr CParamBridge::change(const CChange& where, const std::vector<double>& components) {
    if (!m_param) return ZEL_ERROR("@zelstr_CParamBridge_change_NotLinked Bridge %1 is not linked.", fullName());
    const size_t group = isReady() && m_param->info().isSingleGroup ? 0 : where.group;
    ZEL_TRY(m_client->changeParam(*m_param, group, elementFor(where), components, undoIdFor(where)));
    return nullptr;
}

CErrorPtr CParamBridge::changeText(const CChange& where, const CString& text) {
    if (!m_param) return ZEL_ERROR("@zelstr_CParamBridge_change_NotLinked Bridge %1 is not linked.", fullName());
    const size_t group = isReady() && m_param->info().isSingleGroup ? 0 : where.group;
    ZEL_TRY(m_client->changeParamText(*m_param, group, elementFor(where), text, undoIdFor(where)));
    return nullptr;
}

CErrorPtr CParamBridge::changeBytes(const CChange& where, std::vector<uint8_t> bytes) {
    if (!m_param) return ZEL_ERROR("@zelstr_CParamBridge_change_NotLinked Bridge %1 is not linked.", fullName());
    const size_t group = isReady() && m_param->info().isSingleGroup ? 0 : where.group;
    ZEL_TRY(m_client->changeParamBytes(*m_param, group, elementFor(where), std::move(bytes), undoIdFor(where)));
    return nullptr;
}

CErrorPtr CParamBridge::reset(bool doCreateUndo) {
    if (!m_param) return ZEL_ERROR("@zelstr_CParamBridge_change_NotLinked Bridge %1 is not linked.", fullName());
    ZEL_TRY(m_client->resetParam(*m_param, doCreateUndo ? newUndoId() : bridge::kNoUndo));
    return nullptr;
}

CErrorPtr CParamBridge::beginGesture() {
    if (!m_client) return ZEL_ERROR("@zelstr_CParamBridge_change_NotLinked Bridge %1 is not linked.", fullName());
    ZEL_TRY(m_client->beginUndo());
    return nullptr;
}

CErrorPtr CParamBridge::endGesture() {
    if (!m_client) return ZEL_ERROR("@zelstr_CParamBridge_change_NotLinked Bridge %1 is not linked.", fullName());
    ZEL_TRY(m_client->submitUndo());
    return nullptr;
}

// ---------------------------------------------------------------- ui-param

CUIParam::~CUIParam() = default;

void CUIParam::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("param-change", &CUIParam::onParamChange);
    info.onAttr("shared-value", &CUIParam::onSharedValue);
    info.onAttr("selected-group", &CUIParam::onSelectedGroup);
}

CErrorPtr CUIParam::init() {
    ZEL_TRY(CObject::init());
    // Views, the palette and the objects that follow values (value lists) take ui-params.
    if (!dynamic_cast<CView*>(parent()) && !dynamic_cast<CDynamicPalette*>(parent()) &&
        !(parent() && parent()->hasEventHandler("value-changed")))
        return ZEL_ERROR("@zelstr_CUIParam_init_Parent Parent object does not support ui-param.");
    m_element = size_t(std::max<long long>(0, getInt("element", 0)));
    const CString sharedPath = getAttr("shared-attribute");
    if (!getAttr("bridge").empty()) {
        m_kind = EKind::Bridge;
        ZEL_TRY(findObjectByAttr("bridge", m_bridge));
        ZEL_TRY(listenObject(m_bridge, "param-change", "param-change"));
        const CString selector = getAttr("group-selector");
        // The selector's `selected-group` followed live.
        if (!selector.empty()) ZEL_TRY(setAttrExpanded("selected-group", "{*/" + selector + " selected-group?0}"));
    } else if (!sharedPath.empty()) {
        m_kind = EKind::Shared;
        auto* shared = dynamic_cast<CSharedAttribute*>(findObject(sharedPath));
        if (!shared)
            return ZEL_ERROR("@zelstr_CUIParam_init_SharedAttribute Invalid parameter shared attribute '%1'.",
                             sharedPath);
        m_shared = shared;
        m_sharedAttr = shared->getAttr("attribute");
        ZEL_TRY(setAttrExpanded("shared-value", "{*/" + sharedPath + " " + m_sharedAttr + "}"));
    } else {
        m_kind = EKind::Simple;
        if (!hasAttr("value")) ZEL_TRY(setAttr("value", getAttr("simple-def-value")));
    }
    m_linked = true;
    if (m_kind != EKind::Bridge || m_bridge->isReady()) {
        m_ready = true;
        ZEL_TRY(tellControl("ui-param-ready"));
    }
    return nullptr;
}

bool CUIParam::isReady() const { return m_ready; }

size_t CUIParam::group() const { return size_t(std::max<long long>(0, getInt("selected-group", 0))); }

CErrorPtr CUIParam::tellControl(const char* event) {
    CObject params;
    params.setAttr("ui-param", name());
    ZEL_TRY(deliverEvent(*parent(), event, &params, this));
    return nullptr;
}

CErrorPtr CUIParam::onParamChange(CObject* params, CObject*) {
    if (!m_linked) return nullptr;
    if (!m_ready) {
        m_ready = true;
        ZEL_TRY(tellControl("ui-param-ready"));
        ZEL_TRY(tellControl("value-changed"));
        return nullptr;
    }
    const bool replacing = params && params->getBool("is-replacing", false);
    if (!replacing && params) {
        const bool anyGroup = getBool("is-update-on-any-group", false);
        const bool singleGroup = m_bridge->info() && m_bridge->info()->isSingleGroup;
        if (!anyGroup && !singleGroup && size_t(params->getInt("group", 0)) != group()) return nullptr;
        const long long first = params->getInt("element-offset", 0), count = params->getInt("element-count", 0);
        const bool singleElement = m_bridge->info() && m_bridge->info()->isSingleElement;
        const auto element = static_cast<long long>(m_element);
        if (!singleElement && (element < first || element >= first + count)) return nullptr;
    }
    ZEL_TRY(tellControl("value-changed"));
    return nullptr;
}

CErrorPtr CUIParam::onSharedValue() {
    if (m_linked) ZEL_TRY(tellControl("value-changed"));
    return nullptr;
}

CErrorPtr CUIParam::onSelectedGroup() {
    // Another group shows another value.
    if (m_linked && m_ready) ZEL_TRY(tellControl("value-changed"));
    return nullptr;
}

double CUIParam::value() const {
    switch (m_kind) {
        case EKind::Bridge:
            return m_bridge->value(group(), m_element);
        case EKind::Shared:
            if (hasAttr("shared-attribute-value"))
                return getAttr("shared-value") == getAttr("shared-attribute-value") ? 1.0 : 0.0;
            return getReal("shared-value", 0.0);
        case EKind::Simple:
            break;
    }
    return getReal("value", 0.0);
}

const CAudioParamConverter* CUIParam::numberConverter() const {
    const CAudioParamInfo* info = m_kind == EKind::Bridge ? m_bridge->info() : nullptr;
    if (!info || info->dataType != CAudioParamInfo::kFloat || info->converters.empty()) return nullptr;
    return info->converters[0];
}

CString CUIParam::text() const {
    switch (m_kind) {
        case EKind::Bridge:
            if (const CAudioParamConverter* converter = numberConverter())
                return converter->plainToText(*m_bridge->info(), 0, value());
            return m_bridge->text(group(), m_element);
        case EKind::Shared:
            return getAttr("shared-value");
        case EKind::Simple:
            break;
    }
    return getAttr("value");
}

double CUIParam::minValue() const {
    if (m_kind == EKind::Bridge && m_bridge->info()) return m_bridge->info()->minValue(0);
    if (m_kind == EKind::Simple) return getReal("simple-min-value", 0.0);
    return 0.0;
}

double CUIParam::maxValue() const {
    if (m_kind == EKind::Bridge && m_bridge->info()) return m_bridge->info()->maxValue(0);
    if (m_kind == EKind::Simple) return getReal("simple-max-value", 1.0);
    return 1.0;
}

double CUIParam::defaultValue() const {
    if (m_kind == EKind::Bridge && m_bridge->info()) {
        const CAudioParamInfo& info = *m_bridge->info();
        return info.read(info.defaultValue, 0, m_element, 0);
    }
    if (m_kind == EKind::Shared) return m_shared->getReal("def-value", 0.0);
    return getReal("simple-def-value", 0.0);
}

namespace {
const CAudioParamConverter* converterOf(const CParamBridge* bridge) {
    const CAudioParamInfo* info = bridge ? bridge->info() : nullptr;
    return info && !info->converters.empty() ? info->converters[0] : nullptr;
}
}  // namespace

double CUIParam::toNormalized(double plain) const {
    if (const CAudioParamConverter* converter = m_kind == EKind::Bridge ? converterOf(m_bridge) : nullptr)
        return std::clamp(converter->plainToNormalized(*m_bridge->info(), 0, plain), 0.0, 1.0);
    const double lo = minValue(), hi = maxValue();
    return hi != lo ? std::clamp((plain - lo) / (hi - lo), 0.0, 1.0) : 0.0;
}

double CUIParam::toPlain(double normalized) const {
    if (const CAudioParamConverter* converter = m_kind == EKind::Bridge ? converterOf(m_bridge) : nullptr)
        return converter->normalizedToPlain(*m_bridge->info(), 0, normalized);
    return minValue() + normalized * (maxValue() - minValue());
}

int CUIParam::stepCount() const {
    const CAudioParamConverter* converter = m_kind == EKind::Bridge ? converterOf(m_bridge) : nullptr;
    if (!converter || !converter->isDiscrete()) return 0;
    return int(std::lround(std::fabs(maxValue() - minValue())));
}

CString CUIParam::compactText(double plain) const {
    if (const CAudioParamConverter* converter = m_kind == EKind::Bridge ? converterOf(m_bridge) : nullptr)
        return converter->plainToText(*m_bridge->info(), 0, plain, CAudioParamConverter::kModeCompact);
    return toText(plain);
}

CErrorPtr CUIParam::setNormalizedValue(double normalized, uint32_t undoId) {
    double plain = toPlain(std::clamp(normalized, 0.0, 1.0));
    // Rounded half away from zero, as everywhere in parameter code.
    if (stepCount() > 0) plain = std::round(plain);
    ZEL_TRY(setValue(plain, undoId));
    return nullptr;
}

double CUIParam::normalizedValueIn(size_t group) const {
    return hasGroups() ? toNormalized(m_bridge->value(group, m_element)) : normalizedValue();
}

CErrorPtr CUIParam::setNormalizedValueIn(size_t group, double normalized, uint32_t undoId) {
    if (!hasGroups()) return setNormalizedValue(normalized, undoId);
    double plain = toPlain(std::clamp(normalized, 0.0, 1.0));
    if (stepCount() > 0) plain = std::round(plain);
    CParamBridge::CChange where;
    where.group = group;
    where.element = m_element;
    where.undoId = undoId;
    ZEL_TRY(m_bridge->change(where, {plain}));
    return nullptr;
}

CErrorPtr CUIParam::setValue(double value, uint32_t undoId) {
    switch (m_kind) {
        case EKind::Bridge: {
            CParamBridge::CChange where;
            where.group = group();
            where.element = m_element;
            where.undoId = undoId;
            ZEL_TRY(m_bridge->change(where, {value}));
            return nullptr;
        }
        case EKind::Shared: {
            CString text = toText(value);
            // A switch between "its" value and the default.
            if (hasAttr("shared-attribute-value"))
                text = value >= 0.5 ? getAttr("shared-attribute-value") : m_shared->getAttr("def-value");
            ZEL_TRY(m_shared->setAttr(m_sharedAttr, text));
            return nullptr;
        }
        case EKind::Simple:
            break;
    }
    const double lo = minValue(), hi = maxValue();
    const double clamped = hi >= lo ? std::clamp(value, lo, hi) : value;
    if (getAttr("value") == toText(clamped)) return nullptr;
    ZEL_TRY(setAttr("value", toText(clamped)));
    ZEL_TRY(tellControl("value-changed"));
    return nullptr;
}

std::vector<uint8_t> CUIParam::bytes() const {
    if (m_kind != EKind::Bridge || !m_bridge->isReady()) return {};
    return m_bridge->bytes(group(), m_element);
}

CErrorPtr CUIParam::setBytes(std::vector<uint8_t> bytes) {
    if (m_kind != EKind::Bridge)
        return ZEL_ERROR("@zelstr_CUIParam_setBytes_NotRaw Only a parameter takes raw data: %1.", fullName());
    CParamBridge::CChange where;
    where.group = group();
    where.element = m_element;
    ZEL_TRY(m_bridge->changeBytes(where, std::move(bytes)));
    return nullptr;
}

CErrorPtr CUIParam::setText(const CString& text) {
    if (const CAudioParamConverter* converter = numberConverter()) {
        bool ok = false;
        const double plain = converter->textToPlainClamped(*m_bridge->info(), 0, text, &ok);
        // Text that is no number leaves the value as it was.
        return ok ? setValue(plain) : nullptr;
    }
    if (m_kind == EKind::Bridge) {
        CParamBridge::CChange where;
        where.group = group();
        where.element = m_element;
        ZEL_TRY(m_bridge->changeText(where, text));
        return nullptr;
    }
    if (m_kind == EKind::Shared) {
        ZEL_TRY(m_shared->setAttr(m_sharedAttr, text));
        return nullptr;
    }
    if (getAttr("value") == text) return nullptr;
    ZEL_TRY(setAttr("value", text));
    ZEL_TRY(tellControl("value-changed"));
    return nullptr;
}

// ---------------------------------------------------------------- controller

namespace {
// Wheel turns closer together than this are one gesture (one undo step).
constexpr double kWheelMergeSeconds = 0.5;
constexpr long long kWheelBurstPauseMs = 500;
// Pointer events from before a warp that may still arrive after it.
constexpr int kWarpWaitEvents = 8;

int intParam(const CObject* params, const char* name) { return params ? int(params->getInt(name, 0)) : 0; }
bool boolParam(const CObject* params, const char* name) { return params && params->getBool(name, false); }
}  // namespace

void CUIParamController::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("value-changed", &CUIParamController::onValueChanged);
    info.onEvent("mouse-press", &CUIParamController::onPress);
    info.onEvent("mouse-press-r", &CUIParamController::onPress);
    info.onEvent("mouse-move", &CUIParamController::onMove);
    info.onEvent("mouse-release", &CUIParamController::onRelease);
    info.onEvent("mouse-release-r", &CUIParamController::onRelease);
    info.onEvent("mouse-cancel", &CUIParamController::onRelease);
    info.onEvent("mouse-cancel-r", &CUIParamController::onRelease);
    info.onEvent("mouse-wheel", &CUIParamController::onWheel);
    info.onEvent("tick", &CUIParamController::onTick);
    info.onEvent("hover-view-changed", &CUIParamController::onHoverChanged);
}

CUIParamController::~CUIParamController() {
    // Without a connection the base has ended the gesture itself.
    (void)endLingering();
}

CErrorPtr CUIParamController::init() {
    ZEL_TRY(CObject::init());
    CObject* owner = parent();
    if (!owner)
        return ZEL_ERROR("@zelstr_CUIParamController_init_NoParam Unable to find ui-param '%1' of the control.",
                         getAttr("ui-param"));
    m_activity = dynamic_cast<CUIParam*>(owner->findChild("ui-param-activity"));
    const CString role = getAttr("ui-param");
    if (!role.empty()) {
        const long long count = getInt("ui-param-count", 0);
        for (const auto& child : owner->children())
            if (auto* param = dynamic_cast<CUIParam*>(child.get()); param && child->name() == role)
                if (count <= 0 || m_params.size() < size_t(count)) m_params.push_back(param);
    }
    if ((m_params.empty() && !role.empty()) || (m_params.empty() && !m_activity))
        return ZEL_ERROR("@zelstr_CUIParamController_init_NoParam Unable to find ui-param '%1' of the control.",
                         role.empty() ? CString("ui-param-activity") : role);
    if (m_activity) {
        ZEL_TRY(listenObject(m_activity, "value-changed", "value-changed"));
        ZEL_TRY(listenObject(m_activity, "ui-param-ready", "value-changed"));
        ZEL_TRY(applyActivity());
    }
    for (CUIParam* param : m_params) {
        ZEL_TRY(listenObject(param, "value-changed", "value-changed"));
        ZEL_TRY(listenObject(param, "ui-param-ready", "value-changed"));
    }
    if (m_params.empty()) return nullptr;
    if (hasAttr("active-audio-groups") && !getAttr("active-audio-groups").empty())
        ZEL_TRY(findObjectByAttr("active-audio-groups", m_activeGroups));
    // The control's own input, heard before the control's handlers.
    for (const char* event : {"mouse-press", "mouse-press-r", "mouse-move", "mouse-release", "mouse-release-r",
                              "mouse-cancel", "mouse-cancel-r", "mouse-wheel"})
        ZEL_TRY(listenObject(owner, event, event));
    ZEL_TRY(createChild("ui:update-timer", "wheel-burst-timer", m_burstTimer));
    m_burstTimer->setInt("interval", kWheelBurstPauseMs);
    ZEL_TRY(m_burstTimer->init());
    if (auto* shared = dynamic_cast<CWindowSharedData*>(findObject("ui.window-shared-data")))
        ZEL_TRY(listenObject(shared, "hover-view-changed", "hover-view-changed"));
    if (getReal("update-fps", 0.0) > 0.0) {
        const CString tag = getAttr("timer-tag").empty() ? CString("ui:update-timer") : getAttr("timer-tag");
        ZEL_TRY(createChild(tag, "update-timer", m_timer));
        m_timer->setReal("fps", getReal("update-fps", 15.0));
        ZEL_TRY(m_timer->init());
    }
    if (m_params.front()->isReady()) ZEL_TRY(showValue());
    return nullptr;
}

CView* CUIParamController::control() const { return dynamic_cast<CView*>(parent()); }

CGlobalSettings* CUIParamController::settings() {
    return dynamic_cast<CGlobalSettings*>(findObject("ui.global-settings"));
}

double CUIParamController::normalizedValue() const {
    return m_params.empty() || !m_params.front()->isReady() ? 0.0 : m_params.front()->normalizedValue();
}

std::vector<double> CUIParamController::currentValues() const {
    std::vector<double> values;
    for (const CUIParam* param : m_params) values.push_back(param->isReady() ? param->normalizedValue() : 0.0);
    return values;
}

std::vector<CUIParamController*> CUIParamController::linked() {
    std::vector<CUIParamController*> out;
    CView* view = control();
    // Each linked control may name the next one.
    for (int hops = 0; view && hops < 16; ++hops) {
        const CString path = view->getAttr("linked-knob");
        CObject* next = path.empty() ? nullptr : view->findObject(path);
        view = dynamic_cast<CView*>(next);
        if (!view) break;
        auto* controller = dynamic_cast<CUIParamController*>(view->findChild("ui-param-controller"));
        if (!controller || controller == this || std::find(out.begin(), out.end(), controller) != out.end()) break;
        out.push_back(controller);
    }
    return out;
}

CErrorPtr CUIParamController::onValueChanged(CObject*, CObject* sender) {
    if (sender == m_activity) ZEL_TRY(applyActivity());
    if (m_params.empty() || sender == m_activity) return nullptr;
    // Shown at once while a hand moves it; otherwise at the timer's pace.
    if (!m_timer || m_gesture.mode() != CParamGesture::kNone) {
        ZEL_TRY(showValue());
        return nullptr;
    }
    if (m_timer->isRunning()) {
        m_pending = true;
        return nullptr;
    }
    ZEL_TRY(showValue());
    ZEL_TRY(m_timer->start());
    return nullptr;
}

CErrorPtr CUIParamController::onTick(CObject*, CObject* sender) {
    if (sender == m_burstTimer && m_burstTimer) ZEL_TRY(endLingering());
    if (sender != m_timer) return nullptr;
    if (!m_pending) {
        m_timer->stop();
        return nullptr;
    }
    m_pending = false;
    ZEL_TRY(showValue());
    return nullptr;
}

CErrorPtr CUIParamController::showValue() {
    if (CView* view = control()) ZEL_TRY(deliverEvent(*view, "update-value", nullptr, this));
    return nullptr;
}

CErrorPtr CUIParamController::applyActivity() {
    if (!m_activity->isReady()) return nullptr;
    const bool active = std::lround(m_activity->value()) != 0;
    const bool disabled = getBool("is-inverse", false) ? active : !active;
    ZEL_TRY(parent()->setAttr("is-disabled", disabled ? "true" : "false"));
    return nullptr;
}

CErrorPtr CUIParamController::beginUndo() {
    for (CUIParam* param : m_params)
        if (param->bridge()) {
            ZEL_TRY(param->bridge()->beginGesture());
            m_undoOpen = true;
            break;
        }
    return nullptr;
}

CErrorPtr CUIParamController::endUndo() {
    if (!m_undoOpen) return nullptr;
    m_undoOpen = false;
    for (CUIParam* param : m_params)
        if (param->bridge()) {
            ZEL_TRY(param->bridge()->endGesture());
            break;
        }
    return nullptr;
}

CErrorPtr CUIParamController::write(const std::vector<double>& values) {
    for (size_t i = 0; i < values.size() && i < m_params.size(); ++i) {
        CUIParam* param = m_params[i];
        double value = values[i];
        if (param->stepCount() > 0) value = param->toNormalized(std::round(param->toPlain(value)));
        if (i < m_written.size() && m_written[i] == value) continue;
        ZEL_TRY(param->setNormalizedValue(value));
        if (i >= m_written.size()) continue;
        ZEL_TRY(changeOtherGroups(i, m_written[i], value, 0));
        m_written[i] = value;
    }
    return nullptr;
}

void CUIParamController::takeOtherGroups() {
    m_otherGroups.clear();
    m_otherWritten.clear();
    if (!m_activeGroups) return;
    for (size_t group : m_activeGroups->additionalGroups()) {
        std::vector<double> values;
        for (const CUIParam* param : m_params) values.push_back(param->normalizedValueIn(group));
        m_otherGroups.push_back(group);
        m_otherWritten.push_back(std::move(values));
    }
}

CErrorPtr CUIParamController::changeOtherGroups(size_t i, double before, double after, uint32_t undoId) {
    CUIParam* param = m_params[i];
    if (!param->hasGroups()) return nullptr;
    for (size_t g = 0; g < m_otherGroups.size(); ++g) {
        double& written = m_otherWritten[g][i];
        double value = std::clamp(written + (after - before), 0.0, 1.0);
        if (param->stepCount() > 0) value = param->toNormalized(std::round(param->toPlain(value)));
        if (value == written) continue;
        ZEL_TRY(param->setNormalizedValueIn(m_otherGroups[g], value, undoId));
        written = value;
    }
    return nullptr;
}

CErrorPtr CUIParamController::onPress(CObject* params, CObject*) {
    CView* view = control();
    if (m_params.empty() || !view || m_gesture.mode() != CParamGesture::kNone) return nullptr;
    if (view->getBool("is-disabled", false) || !m_params.front()->isReady()) return nullptr;
    const int x = intParam(params, "x"), y = intParam(params, "y");
    bool radial = true;
    const auto* surface = dynamic_cast<const IParamGestureSurface*>(view);
    if (surface && !surface->gripsAt(x, y, radial)) return nullptr;
    if (boolParam(params, "is-double-click")) {
        // A control with a double-click of its own (a read-out's default)
        // keeps it.
        if (getBool("is-reset-on-double-click", true)) ZEL_TRY(resetToDefaults());
        return nullptr;
    }
    const CGlobalSettings* global = settings();
    const bool radialMode = surface && radial && global && global->radialKnobMode();
    ZEL_TRY(startDrag(x, y, radialMode, boolParam(params, "is-button-r")));
    return nullptr;
}

CErrorPtr CUIParamController::onHoverChanged(CObject*, CObject* sender) {
    // No view hovered: the pointer left the window.
    const auto* shared = dynamic_cast<const CWindowSharedData*>(sender);
    if (m_burstClient && shared && !shared->hoverView()) ZEL_TRY(endLingering());
    return nullptr;
}

CErrorPtr CUIParamController::holdWheelBurst() {
    if (m_burstClient) {
        ZEL_TRY(m_burstTimer->start());
        return nullptr;
    }
    CParamInterfaceClient* client = nullptr;
    for (CUIParam* param : m_params)
        if (param->bridge() && (client = param->bridge()->client())) break;
    if (!client) return nullptr;
    ZEL_TRY(client->endLingering());
    ZEL_TRY(beginUndo());
    m_burstClient = client;
    ZEL_TRY(m_burstTimer->start());
    return nullptr;
}

CErrorPtr CUIParamController::endLingering() {
    if (!m_burstClient) return nullptr;
    CParamInterfaceClient* client = m_burstClient;
    m_burstClient = nullptr;
    client->forgetLingering(*this);
    if (m_burstTimer) m_burstTimer->stop();
    // The next turn starts from what the instance shows.
    m_wheelSeconds = -1.0;
    m_undoOpen = false;
    // Straight to the client: the ui-params may be gone with the control.
    ZEL_TRY(client->submitUndo());
    return nullptr;
}

CErrorPtr CUIParamController::startDrag(int x, int y, bool radial, bool right) {
    ZEL_TRY(beginUndo());
    m_lastX = x;
    m_lastY = y;
    m_warping = false;
    m_rightDrag = right;
    m_written = currentValues();
    takeOtherGroups();
    if (radial) {
        m_gesture.beginRadial();
        const auto* surface = dynamic_cast<const IParamGestureSurface*>(control());
        ZEL_TRY(write(std::vector<double>(m_params.size(), surface->radialValueAt(x, y))));
    } else {
        const CGlobalSettings* global = settings();
        const double k = (global ? global->dragPrecision() : 0.8) * getReal("sensitivity", 1.0);
        const bool axisZero = getBool("is-axis-zero", false);
        m_gesture.beginLinear(currentValues(), k, axisZero,
                              axisZero ? m_params.front()->toNormalized(m_params.front()->defaultValue()) : 0.0);
        if (CWindowRenderer* renderer = control()->windowRenderer()) {
            renderer->hideCursor();
            m_cursorHidden = true;
        }
    }
    m_following.clear();
    if (right)
        for (CUIParamController* other : linked())
            if (other->m_gesture.mode() == CParamGesture::kNone) {
                ZEL_TRY(other->beginFollowing());
                m_following.push_back(other);
            }
    ZEL_TRY(showValue());
    return nullptr;
}

CErrorPtr CUIParamController::onMove(CObject* params, CObject*) {
    if (m_gesture.mode() == CParamGesture::kNone) return nullptr;
    int x = intParam(params, "x"), y = intParam(params, "y");
    if (m_gesture.mode() == CParamGesture::kRadial) {
        const auto* surface = dynamic_cast<const IParamGestureSurface*>(control());
        if (surface) ZEL_TRY(write(std::vector<double>(m_params.size(), surface->radialValueAt(x, y))));
        return nullptr;
    }
    if (m_warping) {
        // The warp's own event: where the warp went, or where the screen's
        // edge stopped it, nearer there than to the pointer before.
        if (std::abs(x - m_warpX) + std::abs(y - m_warpY) < std::abs(x - m_lastX) + std::abs(y - m_lastY)) {
            m_warping = false;
            m_lastX = x;
            m_lastY = y;
            return nullptr;
        }
        if (--m_warpWait <= 0) m_warping = false;
    }
    const double pixels = getBool("is-vertical", true) ? double(y - m_lastY) : double(m_lastX - x);
    m_lastX = x;
    m_lastY = y;
    const CGlobalSettings* global = settings();
    const double factor = boolParam(params, "is-shift") ? (global ? global->shiftKeyPrecision() : 0.5) : 1.0;
    m_gesture.move(pixels, factor);
    ZEL_TRY(write(m_gesture.values()));
    for (CUIParamController* other : m_following) ZEL_TRY(other->follow(pixels, factor));
    CWindowRenderer* renderer = control() ? control()->windowRenderer() : nullptr;
    if (!m_warping && renderer && renderer->wrapCursor(x, y)) {
        // The pointer is over there now; events on their way still count
        // from here until the one of the warp arrives.
        m_warping = true;
        m_warpX = x;
        m_warpY = y;
        m_warpWait = kWarpWaitEvents;
    }
    return nullptr;
}

CErrorPtr CUIParamController::onRelease(CObject* params, CObject*) {
    if (m_gesture.mode() == CParamGesture::kNone) return nullptr;
    // Only the button that started the drag ends it.
    const std::string event = params ? params->getAttr("event-name").utf8() : std::string();
    const bool right = event.size() > 2 && event.compare(event.size() - 2, 2, "-r") == 0;
    if (right != m_rightDrag) return nullptr;
    ZEL_TRY(endDrag());
    return nullptr;
}

CErrorPtr CUIParamController::endDrag() {
    m_gesture.end();
    m_written.clear();
    m_otherGroups.clear();
    m_otherWritten.clear();
    m_warping = false;
    if (m_cursorHidden) {
        m_cursorHidden = false;
        if (CWindowRenderer* renderer = control()->windowRenderer()) renderer->showCursor();
    }
    // The linked knobs' undo records are inside this one: they close first.
    CErrorPtr first;
    const std::vector<CUIParamController*> following = std::move(m_following);
    m_following.clear();
    for (CUIParamController* other : following)
        if (CErrorPtr err = other->endFollowing(); err && !first) first = std::move(err);
    if (CErrorPtr err = endUndo(); err && !first) first = std::move(err);
    if (first) return first;
    ZEL_TRY(showValue());
    return nullptr;
}

CErrorPtr CUIParamController::resetToDefaults() {
    ZEL_TRY(beginUndo());
    CErrorPtr first;
    const std::vector<size_t> others = m_activeGroups ? m_activeGroups->additionalGroups() : std::vector<size_t>();
    for (CUIParam* param : m_params) {
        if (CErrorPtr err = param->setValue(param->defaultValue()); err && !first) first = std::move(err);
        if (!param->hasGroups()) continue;
        for (size_t group : others)
            if (CErrorPtr err = param->setNormalizedValueIn(group, param->toNormalized(param->defaultValue()));
                err && !first)
                first = std::move(err);
    }
    if (CErrorPtr err = endUndo(); err && !first) first = std::move(err);
    return first;
}

CErrorPtr CUIParamController::beginFollowing() {
    if (m_params.empty() || !m_params.front()->isReady()) return nullptr;
    ZEL_TRY(beginUndo());
    const CGlobalSettings* global = settings();
    m_written = currentValues();
    takeOtherGroups();
    m_gesture.beginLinear(currentValues(), (global ? global->dragPrecision() : 0.8) * getReal("sensitivity", 1.0));
    return nullptr;
}

CErrorPtr CUIParamController::follow(double pixels, double factor) {
    if (m_gesture.mode() != CParamGesture::kLinear) return nullptr;
    const CView* view = control();
    m_gesture.move(view && view->getBool("is-link-inversed", false) ? -pixels : pixels, factor);
    ZEL_TRY(write(m_gesture.values()));
    return nullptr;
}

CErrorPtr CUIParamController::stepFollowing(double delta, double precision) {
    if (m_params.empty() || !m_params.front()->isReady()) return nullptr;
    const CView* view = control();
    const double signedDelta = view && view->getBool("is-link-inversed", false) ? -delta : delta;
    for (CUIParam* param : m_params)
        ZEL_TRY(param->setNormalizedValue(
            CParamGesture::wheelValue(param->normalizedValue(), signedDelta, precision, param->stepCount())));
    return nullptr;
}

CErrorPtr CUIParamController::endFollowing() {
    if (m_gesture.mode() == CParamGesture::kNone) return nullptr;
    m_gesture.end();
    m_written.clear();
    m_otherGroups.clear();
    m_otherWritten.clear();
    ZEL_TRY(endUndo());
    return nullptr;
}

CErrorPtr CUIParamController::onWheel(CObject* params, CObject*) {
    CView* view = control();
    if (m_params.empty() || !view || view->getBool("is-disabled", false) || !m_params.front()->isReady())
        return nullptr;
    const double delta = params ? params->getReal("delta", 0.0) : 0.0;
    if (delta == 0.0) return nullptr;
    const CGlobalSettings* global = settings();
    double precision = global ? global->mouseWheelPrecision() : 0.5;
    if (boolParam(params, "is-shift")) precision *= global ? global->shiftKeyPrecision() : 0.5;
    // Turned during a drag, the drag's gesture takes the turns.
    if (m_gesture.mode() == CParamGesture::kNone) ZEL_TRY(holdWheelBurst());
    const double now = CViewBaseState::clock(*this);
    const auto* events = dynamic_cast<const CUIEventBridge*>(findObject("ui"));
    const uint64_t refresh = events ? events->refreshCount() : 0;
    const bool quick = m_wheelSeconds >= 0 && now - m_wheelSeconds < kWheelMergeSeconds;
    if (!quick) m_wheelUndo = CParamBridge::newUndoId();
    // Until the instance echoes the last turn, the next one builds on it.
    const bool echoed = !quick || refresh != m_wheelRefresh || m_wheelWritten.size() != m_params.size();
    m_wheelSeconds = now;
    m_wheelRefresh = refresh;
    std::vector<double> values = echoed ? currentValues() : m_wheelWritten;
    if (echoed) takeOtherGroups();
    // The burst's own changes do not end it.
    if (m_burstClient) m_burstClient->forgetLingering(*this);
    for (size_t i = 0; i < m_params.size(); ++i) {
        const double before = values[i];
        values[i] = CParamGesture::wheelValue(values[i], delta, precision, m_params[i]->stepCount());
        ZEL_TRY(m_params[i]->setNormalizedValue(values[i], m_wheelUndo));
        ZEL_TRY(changeOtherGroups(i, before, values[i], m_wheelUndo));
    }
    m_wheelWritten = values;
    if (boolParam(params, "is-ctrl"))
        for (CUIParamController* other : linked()) ZEL_TRY(other->stepFollowing(delta, precision));
    if (m_burstClient) m_burstClient->setLingering(this);
    return nullptr;
}

}  // namespace zel
