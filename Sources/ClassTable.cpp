// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/AudioEnv.h"
#include "Audio/CCTable.h"
#include "Audio/Converters/ParamConverter.h"
#include "Audio/Param.h"
#include "Audio/ParamDef.h"
#include "Audio/ParamFilters/ParamFilter.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ProcessDef.h"
#include "Audio/VizCollector.h"
#include "Core/AttrDoubler.h"
#include "Core/ClassRegistry.h"
#include "Core/Object.h"
#include "Core/SharedAttribute.h"
#include "Core/Timer.h"
#include "Other/AudioInterfaceBase.h"
#include "Other/AudioInterfaceClient.h"
#include "Other/ParamInterfaceConnector.h"
#include "UI/ColorSwatch.h"
#include "UI/Controls/Button.h"
#include "UI/Controls/ButtonAB.h"
#include "UI/Controls/ButtonOK.h"
#include "UI/Controls/ColorPicker.h"
#include "UI/Controls/ControlArray.h"
#include "UI/Controls/DynListWhatsNew.h"
#include "UI/Controls/FileBrowser.h"
#include "UI/Controls/Knob.h"
#include "UI/Controls/KnobLabels.h"
#include "UI/Controls/LevelMeter.h"
#include "UI/Controls/LevelMeterListener.h"
#include "UI/Controls/MinMax.h"
#include "UI/Controls/QuickEntry.h"
#include "UI/Controls/QuickPresetSelector.h"
#include "UI/Controls/ReadOut.h"
#include "UI/Controls/Ruler.h"
#include "UI/Controls/ScrollerBar.h"
#include "UI/Controls/SelectorGroupMinimal.h"
#include "UI/Controls/SettingSelector.h"
#include "UI/Controls/StatusLine.h"
#include "UI/Controls/TextView.h"
#include "UI/Controls/UndoHistory.h"
#include "UI/Controls/ValueList.h"
#include "UI/Controls/VizExchange.h"
#include "UI/DynamicPalette.h"
#include "UI/EditBox.h"
#include "UI/ErrorWindow.h"
#include "UI/ParamGroupController.h"
#include "UI/ParamGroupSelector.h"
#include "UI/ParamLink.h"
#include "UI/PlainViews.h"
#include "UI/PresetManager.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/StateSwitch.h"
#include "UI/Style.h"
#include "UI/SurfaceViews.h"
#include "UI/UpdateTimer.h"
#include "UI/View.h"
#include "UI/ViewState.h"
#include "UI/VirtualKeyboard.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

namespace zel {

namespace {
// Sorted by tag; every class the documents may name has one row.
const CClassEntry kClassTable[] = {
    {"audio:audio-env", &createObject<CAudioEnv>, &setupObjectClass},
    {"audio:cctable", &createObject<CAudioCCTable>, &setupObjectClass},
    {"audio:cvt-enum", &createObject<CAudioParamConverterEnum>, &setupObjectClass},
    {"audio:cvt-gain", &createObject<CAudioParamConverterGain>, &setupObjectClass},
    {"audio:cvt-real", &createObject<CAudioParamConverterReal>, &setupObjectClass},
    {"audio:cvt-text", &createObject<CAudioParamConverterText>, &setupObjectClass},
    {"audio:cvt-time", &createObject<CAudioParamConverterTime>, &setupObjectClass},
    {"audio:ext-param", &createObject<CAudioExtParam>, &setupObjectClass},
    {"audio:ext-param-list", &createObject<CAudioExtParamList>, &setupObjectClass},
    {"audio:interface-base", &createObject<CAudioInterfaceBase>, &setupObjectClass},
    {"audio:interface-client", &createObject<CAudioInterfaceClient>, &CAudioInterfaceClient::setupClass},
    {"audio:modBypass", &createObject<CModBypassDef>, &setupObjectClass},
    {"audio:modDelay", &createObject<CModDelayDef>, &setupObjectClass},
    {"audio:modGain", &createObject<CModGainDef>, &setupObjectClass},
    {"audio:modMSCoder", &createObject<CModMSCoderDef>, &setupObjectClass},
    {"audio:modMeter", &createObject<CModMeterDef>, &setupObjectClass},
    {"audio:modNode", &createObject<CModNodeDef>, &setupObjectClass},
    {"audio:modOutput", &createObject<CModOutputDef>, &setupObjectClass},
    {"audio:modRouter", &createObject<CModRouterDef>, &setupObjectClass},
    {"audio:param", &createObject<CAudioParamDef>, &setupObjectClass},
    {"audio:param-alloc", &createObject<CAudioParamAllocDef>, &setupObjectClass},
    {"audio:param-collector", &createObject<CAudioParamCollector>, &setupObjectClass},
    {"audio:param-filter-bypass-group-solo", &createObject<CAudioParamFilterBypassGroupSoloDef>, &setupObjectClass},
    {"audio:param-filter-bypass-ms", &createObject<CAudioParamFilterBypassMSDef>, &setupObjectClass},
    {"audio:param-filter-digit", &createObject<CAudioParamFilterDigitDef>, &setupObjectClass},
    {"audio:param-registry", &createObject<CAudioParamRegistry>, &setupObjectClass},
    {"audio:param-remap", &createObject<CAudioParamRemapDef>, &setupObjectClass},
    {"audio:process-bypass-state", &createObject<CAudioProcessBypassStateDef>, &setupObjectClass},
    {"audio:process-def", &createObject<CAudioProcessDef>, &setupObjectClass},
    {"audio:process-link", &createObject<CAudioProcessLinkDef>, &setupObjectClass},
    {"audio:viz-collector", &createObject<CAudioVizCollector>, &setupObjectClass},
    {"brushset", &createObject<CBrushSetObject>, &setupObjectClass},
    {"core:attr-doubler", &createObject<CAttrDoubler>, &CAttrDoubler::setupClass},
    {"core:object", &createObject<CObject>, &setupObjectClass},
    {"core:shared-attribute", &createObject<CSharedAttribute>, &setupObjectClass},
    {"core:timer", &createObject<CTimer>, &CTimer::setupClass},
    {"font", &createObject<CFontObject>, &setupObjectClass},
    {"imageset", &createObject<CImageSetObject>, &setupObjectClass},
    {"other:param-interface-base-connector-uni", &createObject<CParamInterfaceBaseConnectorUni>, &setupObjectClass},
    {"other:param-interface-client-connector-uni", &createObject<CParamInterfaceClientConnectorUni>,
     &CParamInterfaceClientConnector::setupClass},
    {"ui:button-ab", &createObject<CButtonAB>, &CButtonAB::setupClass},
    {"ui:button-base", &createObject<CButton>, &CButton::setupClass},
    {"ui:button-ok", &createObject<CButtonOK>, &CButtonOK::setupClass},
    {"ui:caption", &createObject<CCaption>, &CView::setupClass},
    {"ui:color-fill", &createObject<CColorFill>, &CView::setupClass},
    {"ui:color-picker", &createObject<CColorPicker>, &CColorPicker::setupClass},
    {"ui:color-swatch", &createObject<CColorSwatch>, &setupObjectClass},
    {"ui:control-array", &createObject<CControlArray>, &CControlArray::setupClass},
    {"ui:dynamic-color", &createObject<CDynamicColor>, &setupObjectClass},
    {"ui:dynamic-palette", &createObject<CDynamicPalette>, &CDynamicPalette::setupClass},
    {"ui:dynlist-presets", &createObject<CDynListPresets>, &CDynListPresets::setupClass},
    {"ui:dynlist-whats-new", &createObject<CDynListWhatsNew>, &CDynListWhatsNew::setupClass},
    {"ui:editbox", &createObject<CEditBox>, &CEditBox::setupClass},
    {"ui:editbox-quick-entry", &createObject<CEditBoxQuickEntry>, &CEditBoxQuickEntry::setupClass},
    {"ui:file-browser", &createObject<CFileBrowser>, &CFileBrowser::setupClass},
    {"ui:frame", &createObject<CFrame>, &CView::setupClass},
    {"ui:global-settings", &createObject<CGlobalSettings>, &setupObjectClass},
    {"ui:history", &createObject<CUndoHistory>, &CUndoHistory::setupClass},
    {"ui:interval-timer", &createObject<CIntervalTimer>, &CIntervalTimer::setupClass},
    {"ui:knob", &createObject<CKnob>, &CKnob::setupClass},
    {"ui:knob-labels", &createObject<CKnobLabels>, &CKnobLabels::setupClass},
    {"ui:knob-multichange-item", &createObject<CView>, &CView::setupClass},
    {"ui:level-meter", &createObject<CLevelMeter>, &CLevelMeterBase::setupClass},
    {"ui:level-meter-listener", &createObject<CLevelMeterListener>, &CLevelMeterListener::setupClass},
    {"ui:min-max", &createObject<CMinMax>, &CMinMax::setupClass},
    {"ui:overlay-gradient", &createObject<CGradient>, &CGradient::setupClass},
    {"ui:param-bridge", &createObject<CParamBridge>, &setupObjectClass},
    {"ui:param-data", &createObject<CParamData>, &setupObjectClass},
    {"ui:param-group-controller", &createObject<CParamGroupController>, &CParamGroupController::setupClass},
    {"ui:param-group-selector", &createObject<CParamGroupSelector>, &CParamGroupSelector::setupClass},
    {"ui:picture", &createObject<CPicture>, &CView::setupClass},
    {"ui:preset-manager", &createObject<CPresetManager>, &CPresetManager::setupClass},
    {"ui:quick-entry-field-dec-conv", &createObject<CQuickEntryFieldDecConv>, &CQuickEntryFieldDecConv::setupClass},
    {"ui:quick-preset-selector", &createObject<CQuickPresetSelector>, &CQuickPresetSelector::setupClass},
    {"ui:readout", &createObject<CReadOut>, &CReadOut::setupClass},
    {"ui:ruler", &createObject<CRuler>, &CView::setupClass},
    {"ui:scroller-bar", &createObject<CScrollerBar>, &CScrollerBar::setupClass},
    {"ui:sector-map", &createObject<CSectorMap>, &setupObjectClass},
    {"ui:selector-fps", &createObject<CSelectorFPS>, &CSettingSelector::setupClass},
    {"ui:selector-group-minimal", &createObject<CSelectorGroupMinimal>, &CSelectorGroupMinimal::setupClass},
    {"ui:selector-scale", &createObject<CSelectorScale>, &CSettingSelector::setupClass},
    {"ui:shadow", &createObject<CShadow>, &CView::setupClass},
    {"ui:spotlight-base", &createObject<CSpotlightBase>, &CView::setupClass},
    {"ui:state-data", &createObject<CStateData>, &setupObjectClass},
    {"ui:state-switch", &createObject<CStateSwitch>, &CStateSwitch::setupClass},
    {"ui:status-line", &createObject<CStatusLine>, &CStatusLine::setupClass},
    {"ui:style", &createObject<CStyle>, &setupObjectClass},
    {"ui:textview", &createObject<CTextView>, &CTextView::setupClass},
    {"ui:ui-event-bridge", &createObject<CUIEventBridge>, &CUIEventBridge::setupClass},
    {"ui:ui-param", &createObject<CUIParam>, &CUIParam::setupClass},
    {"ui:ui-param-controller", &createObject<CUIParamController>, &CUIParamController::setupClass},
    {"ui:update-timer", &createObject<CUpdateTimer>, &CUpdateTimer::setupClass},
    {"ui:update-timer-group", &createObject<CUpdateTimerGroup>, &CUpdateTimerGroup::setupClass},
    {"ui:value-list", &createObject<CValueListAudio>, &CValueListAudio::setupClass},
    {"ui:value-list-manual", &createObject<CValueList>, &CValueList::setupClass},
    {"ui:view", &createObject<CView>, &CView::setupClass},
    {"ui:view-color-slot", &createObject<CViewColorSlot>, &setupObjectClass},
    {"ui:view-command", &createObject<CViewCommand>, &setupObjectClass},
    {"ui:view-state", &createObject<CViewState>, &CViewState::setupClass},
    {"ui:virtual-key", &createObject<CVirtualKey>, &CVirtualKey::setupClass},
    {"ui:virtual-keyboard-base", &createObject<CVirtualKeyboard>, &CVirtualKeyboard::setupClass},
    {"ui:viz-exchange", &createObject<CVizExchange>, &CVizExchange::setupClass},
    {"ui:win-error-message", &createObject<CWinErrorMessage>, &CWinErrorMessage::setupClass},
    {"ui:window-closer", &createObject<CWindowCloser>, &CWindowCloser::setupClass},
    {"ui:window-drag", &createObject<CWinDrag>, &CWinDrag::setupClass},
    {"ui:window-opener", &createObject<CWindowOpener>, &CWindowOpener::setupClass},
    {"ui:window-renderer", &createObject<CWindowRenderer>, &CWindowRenderer::setupClass},
    {"ui:window-shared-data", &createObject<CWindowSharedData>, &CWindowSharedData::setupClass},
};
}  // namespace

const CClassEntry* classTable(size_t& count) {
    count = sizeof kClassTable / sizeof kClassTable[0];
    return kClassTable;
}

}  // namespace zel
