// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ParamLink.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "Audio/Converters/ParamConverter.h"
#include "Core/SharedAttribute.h"
#include "Other/ParamInterfaceConnector.h"
#include "UI/DynamicPalette.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"

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

void CUIParamController::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("value-changed", &CUIParamController::onValueChanged);
}

CErrorPtr CUIParamController::init() {
    ZEL_TRY(CObject::init());
    const CString role = hasAttr("ui-param") ? getAttr("ui-param") : CString("ui-param-activity");
    CObject* control = parent();
    m_param = control ? dynamic_cast<CUIParam*>(control->findChild(role)) : nullptr;
    if (!m_param)
        return ZEL_ERROR("@zelstr_CUIParamController_init_NoParam Unable to find ui-param '%1' of the control.", role);
    ZEL_TRY(listenObject(m_param, "value-changed", "value-changed"));
    ZEL_TRY(listenObject(m_param, "ui-param-ready", "value-changed"));
    ZEL_TRY(apply());
    return nullptr;
}

CErrorPtr CUIParamController::onValueChanged(CObject*, CObject*) {
    ZEL_TRY(apply());
    return nullptr;
}

CErrorPtr CUIParamController::apply() {
    if (!m_param->isReady()) return nullptr;
    const bool active = std::lround(m_param->value()) != 0;
    const bool disabled = getBool("is-inverse", false) ? active : !active;
    ZEL_TRY(parent()->setAttr("is-disabled", disabled ? "true" : "false"));
    return nullptr;
}

}  // namespace zel
