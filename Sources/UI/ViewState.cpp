// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/ViewState.h"

#include <algorithm>
#include <cmath>

#include "Core/SharedAttribute.h"
#include "Platform/Clock.h"
#include "UI/ParamLink.h"
#include "UI/View.h"
#include "UI/WindowRenderer.h"

#define ZEL_SOURCE_TAG "ViewState"

namespace zel {

namespace {

// The view-state element's own attributes: a state cannot carry values for
// them.
const char* const kReserved[] = {"name", "full-name", "state-name", "state-attrs", "duration", "morph-duration"};

std::vector<CString> splitNames(const CString& text) {
    std::vector<CString> names;
    CString current;
    for (size_t i = 0; i <= text.length(); ++i) {
        const char16_t c = i < text.length() ? text.at(i) : u' ';
        if (c == u' ' || c == u'\t' || c == u'\n' || c == u'\r') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else {
            current.append(c);
        }
    }
    return names;
}

enum class EChange { Immediate, Fade, Morph };

EChange changeKind(const CString& attr) {
    const std::string a = attr.utf8();
    if (a == "width" || a == "height") return EChange::Morph;
    if (a.find("color") != std::string::npos || a.find("opacity") != std::string::npos) return EChange::Fade;
    return EChange::Immediate;
}

bool isColour(const CString& attr) { return attr.utf8().find("color") != std::string::npos; }

bool readNumber(const CString& text, double& out) {
    CObject scratch;
    scratch.setAttr("v", text);
    return scratch.readReal("v", out);
}

CString numberText(const CString& attr, double v) {
    // Sizes are whole pixels at every step of a morph.
    if (changeKind(attr) == EChange::Morph) return toText(static_cast<long long>(std::lround(v)));
    return toText(v);
}

}  // namespace

// ---------------------------------------------------------------- view-state

void CViewState::setupClass(CClassInfo& info) {
    setupObjectClass(info);
    info.onEvent("render", &CViewState::onRender);
}

CErrorPtr CViewState::init() {
    ZEL_TRY(CObject::init());
    if (!dynamic_cast<CView*>(parent()))
        return ZEL_ERROR("@zelstr_CViewState_init_Parent Parent object is not a view.");
    m_name = getAttr("state-name");
    if (m_name.empty()) return ZEL_ERROR("@zelstr_CViewState_init_NoName State name is empty.");
    m_attrs = splitNames(getAttr("state-attrs"));
    if (m_attrs.empty())
        return ZEL_ERROR("@zelstr_CViewState_init_NoAttrs The state-attrs attribute is empty in %1", fullName());
    for (const CString& attr : m_attrs)
        if (std::any_of(std::begin(kReserved), std::end(kReserved), [&](const char* r) { return attr == CString(r); }))
            return ZEL_ERROR("@zelstr_CViewState_init_Reserved Reserved attribute name specified in state-attrs in %1",
                             fullName());
    return nullptr;
}

CErrorPtr CViewState::onRender(CObject*, CObject*) {
    auto* view = static_cast<CView*>(parent());
    if (!view->states().isTransitioning()) return nullptr;
    ZEL_TRY(view->states().advance(CViewBaseState::clock(*this)));
    return nullptr;
}

// ---------------------------------------------------------------- state aspect

double CViewBaseState::clock(const CObject&) { return platform::secondsSinceStart(); }

std::vector<CViewState*> CViewBaseState::declared() const {
    std::vector<CViewState*> states;
    for (const auto& child : m_view.children())
        if (auto* s = dynamic_cast<CViewState*>(child.get())) states.push_back(s);
    return states;
}

bool CViewBaseState::isSet(const CString& state) const {
    return std::find(m_set.begin(), m_set.end(), state) != m_set.end();
}

CErrorPtr CViewBaseState::set(const CString& state, bool on, double now) {
    if (state.empty()) return ZEL_ERROR("@zelstr_CViewState_init_NoName State name is empty.");
    if (isSet(state) == on) return nullptr;
    if (on)
        m_set.push_back(state);
    else
        m_set.erase(std::remove(m_set.begin(), m_set.end(), state), m_set.end());
    ZEL_TRY(apply(state, now));
    return nullptr;
}

CErrorPtr CViewBaseState::toggle(const CString& state, double now) {
    ZEL_TRY(set(state, !isSet(state), now));
    return nullptr;
}

CErrorPtr CViewBaseState::apply(const CString& cause, double now) {
    const std::vector<CViewState*> states = declared();
    const CViewState* causing = nullptr;
    std::vector<CString> attrs;
    for (const CViewState* s : states) {
        if (s->stateName() == cause) causing = s;
        for (const CString& a : s->stateAttrs())
            if (std::find(attrs.begin(), attrs.end(), a) == attrs.end()) attrs.push_back(a);
    }
    for (const CString& attr : attrs) {
        const CViewState* winner = nullptr;
        for (const CViewState* s : states) {
            const auto& names = s->stateAttrs();
            if (isSet(s->stateName()) && std::find(names.begin(), names.end(), attr) != names.end()) winner = s;
        }
        if (winner && !m_own.count(attr)) m_own[attr] = m_view.getAttr(attr);
        CString target = winner ? winner->getAttr(attr) : (m_own.count(attr) ? m_own[attr] : CString());
        // A colour state beginning with "/" adds itself to the ones before
        // it ("Active" and "/Hover" give "Active/Hover").
        if (winner && attr == CString("color-state")) {
            std::string combined = m_own[attr].utf8();
            for (const CViewState* s : states) {
                const auto& names = s->stateAttrs();
                if (!isSet(s->stateName()) || std::find(names.begin(), names.end(), attr) == names.end()) continue;
                const std::string value = s->getAttr(attr).utf8();
                combined = !value.empty() && value[0] == '/' ? combined + value : value;
            }
            target = CString::fromUtf8(combined);
        }
        if (!winner && !m_own.count(attr)) continue;

        auto running = std::find_if(m_transitions.begin(), m_transitions.end(),
                                    [&](const CTransition& t) { return t.attr == attr; });
        const CString current = running != m_transitions.end() ? running->toText : m_view.getAttr(attr);
        if (current == target) continue;
        CTransition t;
        t.attr = attr;
        t.fromText = m_view.getAttr(attr);
        t.toText = target;
        t.start = now;
        t.state = cause;
        const EChange kind = changeKind(attr);
        if (causing) t.length = kind == EChange::Morph ? causing->morphDuration() : causing->duration();
        if (kind == EChange::Immediate) t.length = 0;
        if (running != m_transitions.end()) m_transitions.erase(running);
        if (t.length <= 0) {
            ZEL_TRY(m_view.setAttr(attr, target));
            continue;
        }
        if (isColour(attr)) {
            // The view blends from the old colour while the fade runs.
            ZEL_TRY(m_view.setAttr(attr, target));
        } else {
            t.numeric = readNumber(t.fromText, t.from) && readNumber(target, t.to);
            if (!t.numeric) {
                ZEL_TRY(m_view.setAttr(attr, target));
                continue;
            }
        }
        m_transitions.push_back(t);
    }
    const bool waiting =
        std::any_of(m_transitions.begin(), m_transitions.end(), [&](const CTransition& t) { return t.state == cause; });
    if (!waiting) {
        ZEL_TRY(finish(cause));
        return nullptr;
    }
    // The window's frames move the transitions on.
    if (!states.empty())
        if (CWindowRenderer* renderer = m_view.windowRenderer())
            ZEL_TRY(states.front()->listenObject(renderer, "render", "render"));
    return nullptr;
}

CErrorPtr CViewBaseState::advance(double now) {
    std::vector<CString> done;
    for (auto it = m_transitions.begin(); it != m_transitions.end();) {
        const double f = std::clamp((now - it->start) / it->length, 0.0, 1.0);
        it->progress = f;
        if (it->numeric)
            ZEL_TRY(m_view.setAttr(it->attr,
                                   f >= 1.0 ? it->toText : numberText(it->attr, it->from + (it->to - it->from) * f)));
        if (f < 1.0) {
            ++it;
            continue;
        }
        const CString state = it->state;
        it = m_transitions.erase(it);
        if (std::none_of(m_transitions.begin(), m_transitions.end(),
                         [&](const CTransition& t) { return t.state == state; }) &&
            std::find(done.begin(), done.end(), state) == done.end())
            done.push_back(state);
    }
    // Colour fades change no attribute on the way: the view redraws.
    m_view.invalidateView();
    for (const CString& state : done) ZEL_TRY(finish(state));
    return nullptr;
}

bool CViewBaseState::colourFade(const CString& attr, CString& from, double& fraction) const {
    for (const CTransition& t : m_transitions)
        if (t.attr == attr && !t.numeric) {
            from = t.fromText;
            fraction = t.progress;
            return true;
        }
    return false;
}

CErrorPtr CViewBaseState::finish(const CString& state) {
    CObject params;
    params.setAttr("state-name", state);
    ZEL_TRY(deliverEvent(m_view, "state-ready", &params, &m_view));
    return nullptr;
}

// ---------------------------------------------------------------- view-command

CErrorPtr CViewCommand::init() {
    ZEL_TRY(CObject::init());
    if (!dynamic_cast<CView*>(parent()))
        return ZEL_ERROR("@zelstr_CViewCommand_init_Parent Parent object is not a view.");
    for (const auto& child : children())
        if (!dynamic_cast<CParamData*>(child.get())) {
            const CString tag = child->classInfo() ? CString(child->classInfo()->tag()) : child->name();
            return ZEL_ERROR("@zelstr_CViewCommand_init_Tag Unexpected tag '%1', expected <param>.", tag);
        }
    m_event = getAttr("on-event");
    return nullptr;
}

CErrorPtr CViewCommand::target(CView& view, const char* attr, CObject*& out) const {
    const CString path = getAttr(attr).empty() ? CString(".") : getAttr(attr);
    out = view.findObject(path);
    if (!out)
        return ZEL_ERROR("@zelstr_CViewCommand_perform_Target Unable to find the target '%1' of %2.", path, fullName());
    return nullptr;
}

CErrorPtr CViewCommand::perform(CView& view, CObject* params) {
    const CString mustBeSet = getAttr("condition-state-set");
    const CString mustBeUnset = getAttr("condition-state-unset");
    if (!mustBeSet.empty() && !view.states().isSet(mustBeSet)) return nullptr;
    if (!mustBeUnset.empty() && view.states().isSet(mustBeUnset)) return nullptr;
    const double now = CViewBaseState::clock(view);

    const char* const stateActions[] = {"set-state", "unset-state", "toggle-state"};
    for (const char* action : stateActions) {
        const CString state = getAttr(action);
        if (state.empty()) continue;
        CObject* found = nullptr;
        ZEL_TRY(target(view, "state-target", found));
        auto* targetView = dynamic_cast<CView*>(found);
        if (!targetView)
            return ZEL_ERROR("@zelstr_CViewCommand_perform_NotView The state target of %1 is not a view.", fullName());
        if (action[0] == 't')
            ZEL_TRY(targetView->states().toggle(state, now));
        else
            ZEL_TRY(targetView->states().set(state, action[0] == 's', now));
    }
    if (const CString attr = getAttr("set-attr"); !attr.empty()) {
        CObject* found = nullptr;
        ZEL_TRY(target(view, "set-attr-target", found));
        ZEL_TRY(found->setAttr(attr, getAttr("set-attr-value")));
    }
    if (const CString attr = getAttr("toggle-attr"); !attr.empty()) {
        CObject* found = nullptr;
        ZEL_TRY(target(view, "toggle-attr-target", found));
        ZEL_TRY(found->setAttr(attr, found->getBool(attr, false) ? "false" : "true"));
    }
    if (const CString path = getAttr("reset-shared-attr"); !path.empty()) {
        auto* shared = dynamic_cast<CSharedAttribute*>(view.findObject(path));
        if (!shared)
            return ZEL_ERROR("@zelstr_CUIParam_init_SharedAttribute Invalid parameter shared attribute '%1'.", path);
        ZEL_TRY(shared->setAttr(shared->getAttr("attribute"), shared->getAttr("def-value")));
    }
    if (const CString event = getAttr("run-event"); !event.empty()) {
        CObject eventParams;
        if (params && getBool("run-event-forward-params", false))
            for (const auto& [name, value] : params->attrs())
                if (name != CString("full-name")) eventParams.setAttr(name, value);
        for (const auto& child : children()) eventParams.setAttr(child->getAttr("attr"), child->getAttr("value"));
        if (getBool("is-run-event-bridged", false)) {
            CUIEventBridge* bridge = nullptr;
            for (CObject* o = view.parent(); o && !bridge; o = o->parent()) bridge = dynamic_cast<CUIEventBridge*>(o);
            if (!bridge)
                return ZEL_ERROR("@zelstr_CViewCommand_perform_NoBridge Unable to locate a suitable event bridge.");
            eventParams.setAttr("target", getAttr("run-event-target"));
            ZEL_TRY(bridge->runEvent(event, &eventParams, &view));
        } else {
            CObject* found = nullptr;
            ZEL_TRY(target(view, "run-event-target", found));
            ZEL_TRY(deliverEvent(*found, event, &eventParams, &view));
        }
    }
    return nullptr;
}

}  // namespace zel
