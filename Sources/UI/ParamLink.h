// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "Core/Notify.h"
#include "Core/Object.h"
#include "Other/ParamInterfaceClient.h"
#include "UI/ParamGesture.h"

namespace zel {

class CAudioParamConverter;
class CParamBridge;
class CParamGroupSelector;
class CParamInterfaceClientConnector;
class CUpdateTimer;
class CView;

// `ui:ui-event-bridge`: the root of an editor's objects ("ui"). It runs the
// parameter link once per frame of its `update-timer` (ahead of the
// windows' timers): the instance is asked for what changed, its answers
// are taken in at once, and every param bridge tells its users. Events
// sent to it that its class does not handle are forwarded to whoever
// listens to it (windows, UI objects).
class CUIEventBridge : public CObject {
public:
    // The bridges below leave the list while it still exists.
    ~CUIEventBridge() override { removeAllChildren(); }
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    CErrorPtr dispatchEvent(const CString& name, CObject* params, CObject* sender) override;

    void addBridge(CParamBridge& bridge);
    void removeBridge(CParamBridge& bridge);
    // One frame of the parameter link.
    CErrorPtr refresh();
    uint64_t refreshCount() const { return m_refreshes; }

private:
    CErrorPtr onTick(CObject* params, CObject* sender);

    std::vector<CParamBridge*> m_bridges;
    CParamInterfaceClient* m_client = nullptr;
    CParamInterfaceClientConnector* m_connector = nullptr;
    CUpdateTimer* m_timer = nullptr;
    uint64_t m_refreshes = 0;
};

// `ui:global-settings`: the global user settings as controls read them;
// its attributes are bound to "ui.global-data".
class CGlobalSettings : public CObject {
public:
    double dragPrecision() const { return getReal("drag-precision", 0.8); }
    double framesPerSecond() const { return getReal("frames-per-second", 40.0); }
    bool isMouseWheelOnLists() const { return getBool("is-mouse-wheel-on-lists", false); }
    double mouseWheelPrecision() const { return getReal("mouse-wheel-precision", 0.5); }
    double shiftKeyPrecision() const { return getReal("shift-key-precision", 0.5); }
    bool showKnobLabels() const { return getBool("show-knob-labels", true); }
    bool showVirtualKeyboard() const { return getBool("show-virtual-keyboard", true); }
    bool tabletMode() const { return getBool("tablet-mode", false); }
    bool radialKnobMode() const { return getBool("radial-knob-mode", false); }
};

// `ui:param-bridge`: one instance parameter (`param`) as the editor sees it,
// through the interface client (`interface-client`). Each frame it sends
// "param-change" (`group`, `element-offset`, `element-count`,
// `is-replacing`) to its users for what changed since the last one. A
// change made here is one undo step of its own unless it carries the
// undo id of a gesture under way or `doCreateUndo` is false. The interface
// client comes before the bridges in the document, so that it outlives them.
class CParamBridge : public CObject {
public:
    struct CChange {
        size_t group = 0;
        size_t element = 0;
        // 0: a new undo step; a gesture passes the same id for every step.
        uint32_t undoId = 0;
        bool doCreateUndo = true;
        // Single-element parameters take every change at element 0.
        bool useFirstElement = false;
    };

    ~CParamBridge() override;
    CErrorPtr init() override;

    // Known once the instance described the parameter.
    bool isReady() const { return m_param && m_param->hasInfo(); }
    CParamInterfaceClient* client() const { return m_client; }
    const CAudioParamInfo* info() const { return isReady() ? &m_param->info() : nullptr; }
    double value(size_t group, size_t element, size_t component = 0) const;
    CString text(size_t group, size_t element) const;
    // The bytes of a raw parameter's element (empty for none).
    std::vector<uint8_t> bytes(size_t group, size_t element) const;
    // The elements a group holds, or its default holds when it has more.
    size_t elementCount(size_t group) const;
    CErrorPtr change(const CChange& where, const std::vector<double>& components);
    CErrorPtr changeText(const CChange& where, const CString& text);
    CErrorPtr changeBytes(const CChange& where, std::vector<uint8_t> bytes);
    // Back to the parameter's default.
    CErrorPtr reset(bool doCreateUndo = true);
    // Every change between the two is one undo step of the instance.
    CErrorPtr beginGesture();
    CErrorPtr endGesture();
    // Sends "param-change" for what arrived since the last call.
    CErrorPtr refresh();
    // A fresh id for a gesture's undo steps.
    static uint32_t newUndoId();

private:
    struct CPending {
        uint32_t group, first, count;
    };
    void onParamUpdate(CUpdateNotifier& notifier, const CString& what);
    uint32_t undoIdFor(const CChange& where) const;
    size_t elementFor(const CChange& where) const;

    CParamInterfaceClient* m_client = nullptr;
    CParamInterfaceClient::CParam* m_param = nullptr;
    CUIEventBridge* m_events = nullptr;
    std::vector<CPending> m_pending;
    bool m_replacing = false;
    COwnedUpdateListener<CParamBridge> m_listener{*this, &CParamBridge::onParamUpdate};
};

// `ui:ui-param`: a control's link to one value: an element of a bridged
// parameter (`bridge`, `element`, the group chosen by `group-selector`), a
// global or local setting (`shared-attribute`, optionally compared with
// `shared-attribute-value`), or a simple local value (`is-simple-attr`
// with `simple-def-value`, `simple-min-value`, `simple-max-value`). It
// sends "ui-param-ready" to its control (a view, or the palette) once linked
// and "value-changed" on every change.
class CUIParam : public CObject {
public:
    enum class EKind { Bridge, Shared, Simple };

    ~CUIParam() override;
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    EKind kind() const { return m_kind; }
    bool isReady() const;
    CParamBridge* bridge() const { return m_bridge; }
    size_t group() const;
    size_t element() const { return m_element; }
    // The plain value (a setting's text read as a number; with
    // `shared-attribute-value`, 1 when the setting holds it).
    double value() const;
    // A number parameter's value as its converter shows it; a text
    // parameter's text; a setting's or local value's text.
    CString text() const;
    double minValue() const;
    double maxValue() const;
    double defaultValue() const;
    // The value in [0, 1], through the parameter's converter; local values
    // are linear between their limits.
    double normalizedValue() const { return toNormalized(value()); }
    double toNormalized(double plain) const;
    double toPlain(double normalized) const;
    // The number of whole steps over the range of a stepped parameter, 0
    // for a continuous one.
    int stepCount() const;
    // A plain value as the parameter's converter shows it in little room.
    CString compactText(double plain) const;
    // A bridged change is one undo step unless `undoId` names a gesture's.
    CErrorPtr setValue(double value, uint32_t undoId = 0);
    // A stepped parameter takes the nearest step.
    CErrorPtr setNormalizedValue(double normalized, uint32_t undoId = 0);
    // A number parameter reads the text through its converter, clamped to
    // its range; text that is no number changes nothing.
    CErrorPtr setText(const CString& text);
    // A bridged parameter's element in another channel group than the
    // selected one, for controls that change several groups at once.
    bool hasGroups() const { return m_kind == EKind::Bridge && m_bridge->info() && !m_bridge->info()->isSingleGroup; }
    double normalizedValueIn(size_t group) const;
    CErrorPtr setNormalizedValueIn(size_t group, double normalized, uint32_t undoId = 0);
    // The converter of a bridged number parameter, once it is described.
    const CAudioParamConverter* numberConverter() const;
    // A raw parameter's element (empty for none, and for local values).
    std::vector<uint8_t> bytes() const;
    CErrorPtr setBytes(std::vector<uint8_t> bytes);

private:
    CErrorPtr onParamChange(CObject* params, CObject* sender);
    CErrorPtr onSharedValue();
    CErrorPtr onSelectedGroup();
    CErrorPtr tellControl(const char* event);

    EKind m_kind = EKind::Simple;
    CParamBridge* m_bridge = nullptr;
    CObject* m_shared = nullptr;
    CString m_sharedAttr;
    size_t m_element = 0;
    bool m_linked = false;
    bool m_ready = false;
};

// `ui:ui-param-controller`: the hand gestures on its control (its parent
// view) as changes of the control's ui-params named `ui-param` (the first
// `ui-param-count` of them when set), and the control's activity: the
// control is enabled while the parameter of its "ui-param-activity" is
// active, i.e. not 0 (`is-inverse` swaps the two).
// A press starts a linear drag along the vertical axis (`is-vertical`;
// horizontally, rightwards raises), scaled by `drag-precision` and
// `sensitivity`, or, with `radial-knob-mode` on a control that allows it, a
// radial one that follows the pointer's angle. With `is-axis-zero` a drag
// scales the values towards or away from the default. Shift drags finely,
// a double-click resets to the default (unless `is-reset-on-double-click`
// is false), the wheel steps (one whole step for
// stepped parameters), and a right press drags the knobs linked to the
// control (`linked-knob`, a path from the control) along with it. During a
// linear drag the cursor is hidden and wraps around at the window's edges
// (a radial drag needs the pointer where it is). Each
// gesture is one undo step. The control hears "update-value" when its value
// is to be shown anew: at once during a gesture, at most `update-fps` times
// a second while the value changes from elsewhere (0: at once always).
// With `active-audio-groups` (the path of a group selector) every gesture
// also changes the groups of that selector's active list: a drag or wheel
// turn adds the same change to their elements, a double-click resets them
// too, all in the gesture's one undo step. A burst of wheel turns is one
// gesture: it ends half a second after the last turn, or at once when
// anything else is begun or changed, the pointer leaves the window or the
// control goes.
class CUIParamController : public CObject, private CParamInterfaceClient::ILingeringGesture {
public:
    ~CUIParamController() override;
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // The first gesture ui-param's value in [0, 1] (0 while not linked).
    double normalizedValue() const;
    CParamGesture::EMode mode() const { return m_gesture.mode(); }
    const std::vector<CUIParam*>& params() const { return m_params; }

    // Gestures that another controller drives (a knob this one's control
    // is linked to); a control with `is-link-inversed` moves opposite.
    CErrorPtr beginFollowing();
    CErrorPtr follow(double pixels, double factor);
    CErrorPtr stepFollowing(double delta, double precision);
    CErrorPtr endFollowing();

private:
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onRelease(CObject* params, CObject* sender);
    CErrorPtr onWheel(CObject* params, CObject* sender);
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr onHoverChanged(CObject* params, CObject* sender);
    CErrorPtr endLingering() override;
    // Opens the wheel burst's gesture, or keeps an open one going.
    CErrorPtr holdWheelBurst();
    CErrorPtr applyActivity();
    CView* control() const;
    CGlobalSettings* settings();
    std::vector<CUIParamController*> linked();
    std::vector<double> currentValues() const;
    CErrorPtr beginUndo();
    CErrorPtr endUndo();
    CErrorPtr startDrag(int x, int y, bool radial, bool right);
    CErrorPtr endDrag();
    CErrorPtr resetToDefaults();
    // Writes the values of the gesture elements; stepped parameters take
    // their nearest step.
    CErrorPtr write(const std::vector<double>& values);
    CErrorPtr showValue();
    // The active groups besides the selected one, with their values now.
    void takeOtherGroups();
    // Adds the change of element `i` from `before` to `after` to the other groups.
    CErrorPtr changeOtherGroups(size_t i, double before, double after, uint32_t undoId);

    CUIParam* m_activity = nullptr;
    CParamGroupSelector* m_activeGroups = nullptr;
    std::vector<size_t> m_otherGroups;
    // Per other group, what the gesture wrote there last, per element.
    std::vector<std::vector<double>> m_otherWritten;
    std::vector<CUIParam*> m_params;
    CParamGesture m_gesture;
    // What the gesture wrote last, per element.
    std::vector<double> m_written;
    std::vector<CUIParamController*> m_following;
    CUpdateTimer* m_timer = nullptr;
    bool m_pending = false;
    bool m_undoOpen = false;
    bool m_cursorHidden = false;
    bool m_rightDrag = false;
    int m_lastX = 0, m_lastY = 0;
    // After a warp: pointer events still on their way from before it are
    // counted from where the pointer was before it.
    bool m_warping = false;
    int m_warpX = 0, m_warpY = 0, m_warpWait = 0;
    // Wheel turns in quick succession are one undo step and build on what
    // the previous turn wrote before the instance echoes it.
    uint32_t m_wheelUndo = 0;
    double m_wheelSeconds = -1.0;
    uint64_t m_wheelRefresh = 0;
    std::vector<double> m_wheelWritten;
    // The client of the open wheel burst, and the pause that ends it.
    CParamInterfaceClient* m_burstClient = nullptr;
    CUpdateTimer* m_burstTimer = nullptr;
};

// Sends `name` to `target`: its class handler and, for a view, its view
// commands; nothing happens when neither takes it. Listeners of `sender`
// hear it as well.
CErrorPtr deliverEvent(CObject& target, const CString& name, CObject* params, CObject* sender);

}  // namespace zel
