// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <vector>

#include "Core/Object.h"

namespace zel {

class CView;
class CViewState;

// `ui:view-state`: a named state of its parent view (`state-name`) and the
// values that the attributes it names (`state-attrs`) take while it is
// set. Colours and opacities fade over `duration` seconds, `width` and
// `height` morph over `morph-duration`.
class CViewState : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    const CString& stateName() const { return m_name; }
    const std::vector<CString>& stateAttrs() const { return m_attrs; }
    double duration() const { return getReal("duration", 0.5); }
    double morphDuration() const { return getReal("morph-duration", 0.0); }

private:
    CErrorPtr onRender(CObject* params, CObject* sender);

    CString m_name;
    std::vector<CString> m_attrs;
};

// The view base's state aspect: which states of a view are set, and the
// attribute values that follow from them. When two set states name the
// same attribute, the one declared later in the document wins; an
// attribute no set state names has the view's own value. Fades and morphs
// advance with the window's frames; "state-ready" (`state-name`) reaches
// the view when a change has fully taken effect.
class CViewBaseState {
public:
    explicit CViewBaseState(CView& view) : m_view(view) {}

    // Unknown names are kept as set all the same: a state may be declared
    // for some views of a template only.
    CErrorPtr set(const CString& state, bool on, double now);
    CErrorPtr toggle(const CString& state, double now);
    bool isSet(const CString& state) const;
    // Moves the running transitions to `now` (seconds).
    CErrorPtr advance(double now);
    bool isTransitioning() const { return !m_transitions.empty(); }
    // While a colour attribute fades: the value it fades from and how far
    // the fade is (0 to 1).
    bool colourFade(const CString& attr, CString& from, double& fraction) const;
    // The process clock, in seconds (the frame's when one is under way).
    static double clock(const CObject& context);

private:
    struct CTransition {
        CString attr;
        CString fromText, toText;
        double from = 0, to = 0;
        double start = 0, length = 0;
        double progress = 0;
        bool numeric = false;
        CString state;
    };
    std::vector<CViewState*> declared() const;
    CErrorPtr apply(const CString& cause, double now);
    CErrorPtr finish(const CString& state);

    CView& m_view;
    std::vector<CString> m_set;
    // The view's own values of the attributes states override.
    std::map<CString, CString> m_own;
    std::vector<CTransition> m_transitions;
};

// `ui:param-data`: one parameter (`attr` = `value`) of an event that a view
// command runs.
class CParamData : public CObject {};

// `ui:view-command`: on the view event `on-event`, provided the view's state
// `condition-state-set` is set and `condition-state-unset` is not, performs
// each of its actions that is named: `set-state`, `unset-state`,
// `toggle-state` (on `state-target`), `set-attr` = `set-attr-value` (on
// `set-attr-target`), `toggle-attr` (on `toggle-attr-target`),
// `reset-shared-attr`, and `run-event` (to `run-event-target`, with its
// `ui:param-data` children, the triggering event's parameters when
// `run-event-forward-params`, through the event bridge when
// `is-run-event-bridged`).
class CViewCommand : public CObject {
public:
    CErrorPtr init() override;

    const CString& onEvent() const { return m_event; }
    // Runs the actions if the conditions hold.
    CErrorPtr perform(CView& view, CObject* params);

private:
    CErrorPtr target(CView& view, const char* attr, CObject*& out) const;

    CString m_event;
};

}  // namespace zel
