// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/TextView.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/ParamConverter.h"
#include "Other/Draw.h"
#include "Platform/Clock.h"
#include "UI/Controls/ValueList.h"
#include "UI/EditBox.h"
#include "UI/InputRouter.h"
#include "UI/ParamLink.h"
#include "UI/Resources/ResourceObjects.h"
#include "UI/WindowOpener.h"
#include "UI/WindowRenderer.h"
#include "UI/WindowSharedData.h"

#define ZEL_SOURCE_TAG "CTextView"

namespace zel {

namespace {

CColor roleOr(const CView& view, const CString& role, CColor fallback) {
    CColor c;
    return view.paletteColour(role, c, false) ? c : fallback;
}

ETextAlign textAlignOf(const CString& value) {
    if (value == CString("center")) return ETextAlign::Center;
    if (value == CString("right")) return ETextAlign::Right;
    if (value == CString("justify")) return ETextAlign::Justify;
    return ETextAlign::Left;
}

const CImageSet* imageSetAt(CView& view, const CString& path, double scale) {
    const CString full = path.startsWith("shared::") ? path : CString("shared::") + path;
    auto* object = dynamic_cast<CImageSetObject*>(view.findObject(full));
    if (!object || object->prepare(scale)) return nullptr;
    return object->imageSet(scale);
}

// The paragraphs of a title, split at the first character of `separator`.
std::vector<CString> splitParagraphs(const CString& title, const CString& separator) {
    std::vector<CString> texts;
    size_t from = 0;
    for (size_t at; !separator.empty() && (at = title.find(separator.at(0), from)) != CString::npos; from = at + 1)
        texts.push_back(title.substr(from, at - from));
    texts.push_back(title.substr(from));
    return texts;
}

// The titles of a stepped parameter's values, from the lowest; at most `limit`.
void parameterStates(const CParamBridge& bridge, size_t limit, std::vector<CString>& out) {
    const CAudioParamInfo* info = bridge.info();
    const CAudioParamConverter* converter = info && !info->converters.empty() ? info->converters[0] : nullptr;
    if (!converter || !converter->isDiscrete()) return;
    const double low = std::ceil(std::min(info->minValue(0), info->maxValue(0)));
    const double high = std::floor(std::max(info->minValue(0), info->maxValue(0)));
    for (double v = low; v <= high && out.size() < limit; ++v) out.push_back(converter->plainToText(*info, 0, v));
}

}  // namespace

void CTextView::setupClass(CClassInfo& info) {
    CView::setupClass(info);
    info.onEvent("mouse-move", &CTextView::onMove);
    info.onEvent("mouse-exit", &CTextView::onExit);
    info.onEvent("mouse-press", &CTextView::onPress);
    info.onEvent("mouse-press-r", &CTextView::onPressRight);
    info.onEvent("popup-result", &CTextView::onPopupResult);
    info.onEvent("focus", &CTextView::onFocus);
    info.onEvent("edit-tick", &CTextView::onEditTick);
    info.onEvent("temp-editbox-text-changed", &CTextView::onEditEnded);
    info.onEvent("temp-editbox-empty-value", &CTextView::onEditEmpty);
    info.onEvent("value-changed", &CTextView::onValueChanged);
    info.onEvent("ui-param-ready", &CTextView::onValueChanged);
    info.onEvent("text-source-changed", &CTextView::onSourceChanged);
}

void CTextView::readRoles() {
    CView::readRoles();
    const char* colourAttrs[3] = {"text-color", "text-color1", "text-color2"};
    // Without their own roles, C1 stands out in the list marker's blue and C2 warns in the error red.
    const char* colourDefaults[3] = {"Text", "ListItemMarker", "ActionError"};
    for (int i = 0; i < 3; ++i)
        if (!roleColour(colourAttrs[i], m_colours[i]))
            m_colours[i] = roleOr(*this, colourDefaults[i], i ? m_colours[0] : 0);
    // A label of a control takes its control's state: "ButtonText" reads
    // as "ButtonText_Active" while the state is "Active", and as
    // "ButtonText_ActiveHover" in "Active/Hover", else as the variant of the
    // states before the last.
    CString state = getAttr("color-state");
    if (!getAttr("text-color").empty())
        for (CColor c; !state.empty(); state = state.substr(0, state.rfind(u'/'))) {
            CString joined = state;
            for (size_t slash; (slash = joined.find(u'/')) != CString::npos;)
                joined = joined.substr(0, slash) + joined.substr(slash + 1);
            if (!joined.empty() && paletteColour(getAttr("text-color") + "_" + joined, c, false)) {
                m_colours[0] = c;
                break;
            }
            if (state.rfind(u'/') == CString::npos) break;
        }
    m_hoverColour = roleOr(*this, "HoveredParagraph", roleOr(*this, "ListItemMarker", m_colours[0]));
    m_selectionColour = roleOr(*this, "Selection", 0xffe672);
    m_selectionText = roleOr(*this, "SelectionText", m_colours[0]);
}

CErrorPtr CTextView::init() {
    m_editor.readOptions();
    // Tab visits editable views.
    if (m_editor.isEditable() && !hasAttr("is-focusable")) setBool("is-focusable", true);
    ZEL_TRY(CView::init());
    ZEL_TRY(readText(uiScale()));
    m_selected = int(getInt("selected-paragraph", -1));
    const CString sourcePath = getAttr("text-source");
    if (CObject* source = sourcePath.empty() ? nullptr : findObject(sourcePath)) {
        // A parameter's values are known once the instance described it.
        const bool isParameter = dynamic_cast<CParamBridge*>(source);
        ZEL_TRY(listenObject(source, isParameter ? "param-change" : "values-changed", "text-source-changed"));
    }
    readParagraphs();
    m_ready = true;
    return nullptr;
}

CErrorPtr CTextView::readText(double scale) {
    m_textScale = scale;
    CFontObject* fonts = nullptr;
    ZEL_TRY(CFontObject::findFont(*this, fonts));
    ZEL_TRY(fonts->prepare(scale));
    m_fonts = {fonts->style("regular", scale), fonts->style("bold", scale), fonts->style("superscript", scale)};
    if (!m_fonts.regular)
        return ZEL_ERROR("@zelstr_CFontObject_findFont_NotFound Font '%1' not found.", getAttr("font-name"));
    if (const CImageSet* buttons = imageSetAt(*this, "is.button", scale)) {
        m_rule = buttons->image("HR", 0);
        m_subListArrow = buttons->image("DynListArrow", 0);
    }
    m_disabledOpacity = getReal("disabled-paragraph-opacity", 0.33);
    m_align = textAlignOf(getAttr("text-alignment"));
    const CString v = getAttr("text-alignment-v");
    m_alignV = v == CString("center") ? EAlign::Center : v == CString("bottom") ? EAlign::End : EAlign::Start;
    m_wrapped = getBool("is-text-wrapped", true);
    const auto scaled = [&](const char* attr, double fallback) {
        return int(std::lround(getReal(attr, fallback) * scale));
    };
    m_lineHeight = std::max(1, m_fonts.regular->lineHeight() + scaled("line-height-modifier", 0));
    m_spacing = scaled("paragraph-spacing", 10);
    m_hoverable = getBool("is-paragraph-hoverable", false);
    m_selectable = getBool("is-paragraph-selectable", false);
    m_clickCancels = getBool("is-selected-paragraph-click-cancels", false);
    return nullptr;
}

void CTextView::attrChanged(const CString& name) {
    CView::attrChanged(name);
    if (!m_ready) return;
    if (name == CString("title")) {
        readParagraphs();
        // A view sized by its text makes room for the new text.
        const auto fits = [](const CViewSize& size) {
            return size.mode == ESizeMode::Compact || size.mode == ESizeMode::FullCompact;
        };
        if (fits(placement().width) || fits(placement().height)) {
            relayoutWindow();
            return;
        }
        rereadParagraphs();
    } else if (name == CString("selected-paragraph")) {
        m_selected = int(getInt("selected-paragraph", -1));
        if (getAttr("active-paragraph-prefix").empty())
            invalidateView();
        else
            rereadParagraphs();
    } else if (name == CString("text-source-single-value")) {
        rereadParagraphs();
    }
}

void CTextView::rereadParagraphs() {
    readParagraphs();
    if (m_hovered >= int(m_paragraphs.size())) m_hovered = -1;
    placed();
    invalidateView();
}

CErrorPtr CTextView::onSourceChanged(CObject*, CObject*) {
    rereadParagraphs();
    return nullptr;
}

bool CTextView::sourceTexts(std::vector<CString>& out, std::vector<bool>* enabled) const {
    out.clear();
    if (enabled) enabled->clear();
    const CString path = getAttr("text-source");
    if (path.empty()) {
        out = splitParagraphs(getAttr("title"), getAttr("separator-char"));
        if (enabled) enabled->assign(out.size(), true);
        return true;
    }
    CObject* source = const_cast<CTextView*>(this)->findObject(path);
    if (!source) return false;
    if (const auto* bridge = dynamic_cast<const CParamBridge*>(source)) {
        // Not more than a list can show: a parameter may have a hundred thousand steps.
        const long long most = getInt("max-item-count", 0);
        const long long single = getInt("text-source-single-value", -1);
        parameterStates(*bridge, size_t(std::max({most > 0 ? most : 1000LL, single + 1})), out);
    } else if (const auto* list = dynamic_cast<const CValueList*>(source)) {
        // A list filled from the audio side has no children to read.
        for (const CValueList::CItem& item : list->items()) {
            out.push_back(item.title);
            if (enabled) enabled->push_back(item.isEnabled);
        }
    } else {
        for (const auto& item : source->children())
            out.push_back(item->hasAttr("content") ? item->getAttr("content") : item->getAttr("title"));
    }
    if (enabled) enabled->resize(out.size(), true);
    const long long single = getInt("text-source-single-value", -1);
    if (single >= 0) {
        const bool exists = size_t(single) < out.size();
        const CString one = exists ? out[size_t(single)] : CString();
        const bool on = exists && (!enabled || (*enabled)[size_t(single)]);
        out.clear();
        if (enabled) enabled->clear();
        if (exists) {
            out.push_back(one);
            if (enabled) enabled->push_back(on);
        }
    }
    return true;
}

void CTextView::readParagraphs() {
    m_paragraphs.clear();
    std::vector<CListEntry> entries = m_entries;
    if (!m_hasEntries) {
        std::vector<CString> texts;
        std::vector<bool> enabled;
        if (!sourceTexts(texts, &enabled)) {
            addParagraph(getAttr("no-items-title"), false, false);
            return;
        }
        entries.clear();
        for (size_t i = 0; i < texts.size(); ++i) entries.push_back({texts[i], enabled[i]});
    }
    const CString prefix = getAttr("active-paragraph-prefix");
    const size_t limit = size_t(std::max(0LL, getInt("max-item-count", 0)));
    const size_t first = std::min(m_first, entries.size());
    for (size_t i = first; i < entries.size() && (limit == 0 || i - first < limit); ++i) {
        const CString& title = entries[i].title;
        addParagraph(int(i) == m_selected ? prefix + title : title, entries[i].isEnabled, entries[i].hasSubList);
    }
    if (m_paragraphs.empty() && !getBool("allow-no-paragraphs", false))
        addParagraph(getAttr("no-items-title"), false, false);
}

void CTextView::addParagraph(const CString& text, bool isEnabled, bool hasSubList) {
    CParagraph p;
    // A password shows as bullets, its brackets taken as characters.
    p.items = getBool("is-password", false) ? parseMarkup(passwordMask(m_fonts.regular, decodeUtf8(text.utf8()).size()))
                                            : parseMarkup(text);
    p.isEnabled = isEnabled;
    p.hasSubList = hasSubList && m_subListArrow;
    for (CTextItem& item : p.items) {
        if (item.kind != CTextItem::EKind::Image) continue;
        if (const CImageSet* set = imageSetAt(*this, item.imageSet, m_textScale))
            item.image = set->image(item.imageRange, 0);
    }
    m_paragraphs.push_back(std::move(p));
}

void CTextView::setEntries(const std::vector<CListEntry>& entries) {
    m_hasEntries = true;
    m_entries = entries;
    if (m_ready) rereadParagraphs();
}

int CTextView::layout(int width, bool wrapped) {
    const CTextWrapper wrapper(m_fonts, m_lineHeight);
    int top = 0;
    for (CParagraph& p : m_paragraphs) {
        // The arrow of a sub-list keeps the right edge to itself.
        const int arrow = p.hasSubList ? m_subListArrow->nominalWidth() + m_subListArrow->nominalWidth() / 2 : 0;
        p.lines = wrapper.wrap(p.items, std::max(0, width - arrow), wrapped, m_align);
        p.top = top;
        p.height = p.lines.empty() ? 0 : p.lines.back().top + p.lines.back().height;
        top += p.height + m_spacing;
    }
    return m_paragraphs.empty() ? 0 : top - m_spacing;
}

CSize CTextView::contentSize() const {
    if (!m_ready) return {};
    // Wrapped text fits the width it is given in pixels, or else its
    // `max-width`; other text takes the lines it has.
    const CViewBasePlacement& place = placement();
    int room = -1;
    if (m_wrapped && place.width.mode == ESizeMode::Pixels)
        room = int(std::lround(place.width.value));
    else if (m_wrapped && place.maxWidth < CViewBasePlacement::kNoLimit)
        room = place.maxWidth;
    if (room >= 0) room = std::max(0, room - place.inner.horizontal());
    const CTextWrapper wrapper(m_fonts, m_lineHeight);
    int width = 0, height = 0;
    for (const CParagraph& p : m_paragraphs) {
        const std::vector<CTextLine> lines = wrapper.wrap(p.items, std::max(room, 0), room >= 0, ETextAlign::Left);
        for (const CTextLine& line : lines) width = std::max(width, line.width);
        height += lines.back().top + lines.back().height + m_spacing;
    }
    if (!m_paragraphs.empty()) height -= m_spacing;
    height += m_fonts.regular->spaceAbove() + m_fonts.regular->spaceBelow();
    const double most = getReal("max-text-height", 0);
    if (most > 0) height = std::min(height, int(std::lround(most * uiScale())));
    return {width, height};
}

void CTextView::placed() {
    // The root lays out once before its views read their attributes.
    if (!m_ready) return;
    const CBorder& b = placement().inner;
    const int width = std::max(0, area().width() - b.horizontal());
    m_textHeight = layout(width, m_wrapped);
    const int room = area().height() - b.vertical();
    const int block = m_fonts.regular->spaceAbove() + m_textHeight + m_fonts.regular->spaceBelow();
    int top = area().top + b.top;
    if (m_alignV == EAlign::Center)
        top += (room - block) / 2;
    else if (m_alignV == EAlign::End)
        top += room - block;
    m_textTop = top + m_fonts.regular->spaceAbove();
}

int CTextView::paragraphAt(int x, int y) const {
    if (x < area().left || x >= area().right) return -1;
    for (size_t i = 0; i < m_paragraphs.size(); ++i) {
        const CParagraph& p = m_paragraphs[i];
        // Each paragraph takes half the spacing on either side, so the list has no gaps.
        const int top = m_textTop + p.top - (i ? m_spacing / 2 : m_spacing);
        const int bottom = m_textTop + p.top + p.height + (m_spacing + 1) / 2;
        if (y >= top && y < bottom) return int(i);
    }
    return -1;
}

CErrorPtr CTextView::onMove(CObject* params, CObject*) {
    if (!m_hoverable || !params) return nullptr;
    int at = paragraphAt(int(params->getInt("x", 0)), int(params->getInt("y", 0)));
    if (at >= 0 && !m_paragraphs[size_t(at)].isEnabled) at = -1;
    if (at != m_hovered) {
        m_hovered = at;
        invalidateView();
    }
    return nullptr;
}

CErrorPtr CTextView::onExit(CObject*, CObject*) {
    if (m_hovered >= 0) {
        m_hovered = -1;
        invalidateView();
    }
    return nullptr;
}

CErrorPtr CTextView::onPress(CObject* params, CObject*) {
    if (!params) return nullptr;
    if (!getAttr("popup-tag").empty()) return openPopupList();
    const int at = paragraphAt(int(params->getInt("x", 0)), int(params->getInt("y", 0)));
    if (at < 0 || !m_paragraphs[size_t(at)].isEnabled) return nullptr;
    if (m_editor.isEditable()) {
        CWindowRenderer* renderer = windowRenderer();
        if (renderer && !m_listensToFrames) {
            ZEL_TRY(listenObject(renderer, "tick", "edit-tick"));
            m_listensToFrames = true;
        }
        bool taken = false;
        ZEL_TRY(m_editor.press(at, params->getBool("is-double-click", false), platform::secondsSinceStart(), taken));
        if (taken) return nullptr;
    }
    CObject out;
    out.setInt("paragraph-index", at + int(m_first));
    if (params->getBool("is-double-click", false))
        return CInputRouter::sendToView(*this, "paragraph-dbl-clicked", &out, this);
    return select(at + int(m_first));
}

CErrorPtr CTextView::onPressRight(CObject* params, CObject*) {
    if (!params || !getBool("is-right-click-selects", false)) return nullptr;
    const int at = paragraphAt(int(params->getInt("x", 0)), int(params->getInt("y", 0)));
    if (at < 0 || !m_paragraphs[size_t(at)].isEnabled) return nullptr;
    return select(at + int(m_first));
}

CErrorPtr CTextView::select(int at) {
    if (!m_selectable) return nullptr;
    if (m_isPopupList && at == m_selected) {
        // Choosing the entry already chosen closes the popup; the opener
        // hears of it only with `do-send-same-result`.
        CWindowRenderer* renderer = windowRenderer();
        CView* opener = renderer ? renderer->opener() : nullptr;
        if (opener && opener->getBool("do-send-same-result", false)) return sendPopupResult(at);
        return renderer ? renderer->closeWindow() : nullptr;
    }
    const int selected = at == m_selected && m_clickCancels ? -1 : at;
    if (selected == m_selected) return nullptr;
    setInt("selected-paragraph", selected);
    CObject out;
    out.setInt("paragraph-index", selected);
    ZEL_TRY(CInputRouter::sendToView(*this, "selected-paragraph-changed", &out, this));
    return m_isPopupList && selected >= 0 ? sendPopupResult(selected) : nullptr;
}

CErrorPtr CTextView::openPopupList() {
    std::vector<CListEntry> entries = m_entries;
    if (!m_hasEntries) {
        std::vector<CString> texts;
        std::vector<bool> enabled;
        sourceTexts(texts, &enabled);
        for (size_t i = 0; i < texts.size(); ++i) entries.push_back({texts[i], enabled[i]});
    }
    return openPopupList(*this, entries, m_selected);
}

CErrorPtr CTextView::openPopupList(CView& opener, const std::vector<CListEntry>& entries, int selected) {
    auto* windows = dynamic_cast<CWindowOpener*>(opener.findObject("ui.window-shared-data.window-opener"));
    if (!windows) return ZEL_ERROR("@zelstr_CTextView_openPopup_Opener Unable to find the window opener.");
    CWinDrag* popup = nullptr;
    // The opener's popup attributes place the popup by it and shape its list.
    const auto prepare = [&](CWinDrag& root) {
        if (opener.getBool("is-same-width", false))
            root.setInt("width", std::lround(opener.area().width() / opener.uiScale()));
        else if (opener.hasAttr("popup-width"))
            root.setAttr("width", opener.getAttr("popup-width"));
        if (CObject* renderer = root.findChild("window-renderer")) {
            for (const char* attr : {"window-alignment", "is-local-popup", "shift-x", "shift-y"})
                if (opener.hasAttr(attr)) renderer->setAttr(attr, opener.getAttr(attr));
        }
        auto* list = dynamic_cast<CTextView*>(root.findChild("list"));
        if (!list) return;
        if (opener.hasAttr("popup-inner-border")) list->setAttr("inner-border", opener.getAttr("popup-inner-border"));
        if (opener.hasAttr("popup-text-alignment"))
            list->setAttr("text-alignment", opener.getAttr("popup-text-alignment"));
        list->m_isPopupList = true;
        list->setBool("is-paragraph-selectable", true);
        list->setInt("selected-paragraph", selected);
        list->setEntries(entries);
        fitPopupList(opener, root, *list, int(std::lround(root.getReal("width", 0) * opener.uiScale())), selected);
    };
    return windows->openPopup(opener.getAttr("popup-tag"), "", opener, popup, prepare);
}

void CTextView::fitPopupList(CView& opener, CView& root, CTextView& list, int width, int selected) {
    // The list is not placed yet: it is measured in the opener's scale, which the popup shares.
    const double scale = opener.uiScale();
    if (list.readText(scale)) return;
    list.m_selected = selected;
    list.readParagraphs();
    CViewBasePlacement place;
    if (place.read(list, scale, 1.0, 1.0)) return;
    const CBorder& inner = place.inner;
    const int chrome = inner.vertical() + place.outer.vertical() + list.m_fonts.regular->spaceAbove() +
                       list.m_fonts.regular->spaceBelow();
    const int textWidth = std::max(0, width - inner.horizontal() - place.outer.horizontal());
    int height = chrome + list.layout(textWidth, list.m_wrapped);
    // No higher than the work area of the screen that holds the opener: a
    // longer list scrolls, with its scroll bar shown, the selected entry in
    // the middle where it can be.
    std::shared_ptr<platform::CDisplay> display;
    auto* shared = dynamic_cast<CWindowSharedData*>(opener.findObject("ui.window-shared-data"));
    CWindowRenderer* renderer = opener.windowRenderer();
    int ox = 0, oy = 0;
    if (shared && !shared->display(display) && renderer && renderer->window() &&
        renderer->window()->screenOrigin(ox, oy)) {
        const int room = display->workArea(ox + opener.area().left, oy + opener.area().bottom).height;
        if (room > 0 && height > room) {
            if (CObject* bar = root.findChild("scroller-v")) bar->setBool("is-hidden", false);
            CObject* offset = root.findChild("ui-param-offset");
            if (offset && selected >= 0 && size_t(selected) < list.m_paragraphs.size()) {
                const CParagraph& p = list.m_paragraphs[size_t(selected)];
                const int middle = inner.top + place.outer.top + p.top + p.height / 2;
                offset->setReal("value", std::clamp(double(middle - room / 2) / height, 0.0, 1.0));
            }
            height = room;
        }
    }
    // In unscaled units that scale back to exactly `height`.
    root.setReal("height", height / scale);
}

CErrorPtr CTextView::sendPopupResult(int index) {
    CWindowRenderer* renderer = windowRenderer();
    CView* opener = renderer ? renderer->opener() : nullptr;
    if (opener) {
        CObject result;
        result.setInt("index", index);
        result.setAttr("list-id", opener->getAttr("list-id"));
        result.setAttr("result-target", opener->getAttr("result-target"));
        ZEL_TRY(CInputRouter::sendToView(*opener, "popup-result", &result, this));
    }
    return renderer ? renderer->closeWindow() : nullptr;
}

CErrorPtr CTextView::onPopupResult(CObject* params, CObject*) {
    if (!params) return nullptr;
    const int index = int(params->getInt("index", -1));
    if (index == m_selected) return nullptr;
    setInt("selected-paragraph", index);
    CObject out;
    out.setInt("paragraph-index", index);
    return CInputRouter::sendToView(*this, "selected-paragraph-changed", &out, this);
}

CString CTextView::paragraphText(int at) const {
    if (at < 0) return {};
    if (m_hasEntries) return size_t(at) < m_entries.size() ? m_entries[size_t(at)].title : CString();
    std::vector<CString> texts;
    sourceTexts(texts);
    return size_t(at) < texts.size() ? texts[size_t(at)] : CString();
}

int CTextView::paragraphTop(int at) const {
    if (at < 0 || size_t(at) >= m_paragraphs.size()) return area().top;
    return m_textTop + m_paragraphs[size_t(at)].top - m_fonts.regular->spaceAbove();
}

void CTextView::replaceParagraph(int at, const CString& text) {
    if (m_hasEntries) {
        if (at >= 0 && size_t(at) < m_entries.size()) m_entries[size_t(at)].title = text;
        setEntries(m_entries);
        return;
    }
    // A text source's items belong to its owner, who hears "paragraph-text-changed".
    if (!getAttr("text-source").empty()) return;
    const CString separator = getAttr("separator-char");
    std::vector<CString> texts = splitParagraphs(getAttr("title"), separator);
    if (at < 0 || size_t(at) >= texts.size()) return;
    texts[size_t(at)] = text;
    CString title = texts[0];
    for (size_t i = 1; i < texts.size(); ++i) title = title + separator.substr(0, 1) + texts[i];
    setAttr("title", title);
}

CErrorPtr CTextView::onFocus(CObject*, CObject*) {
    CWindowRenderer* renderer = windowRenderer();
    // A press decides by its gesture; Tab opens the edit at once.
    if (!m_editor.isEditable() || (renderer && renderer->router() && renderer->router()->pressTarget() == this))
        return nullptr;
    return m_editor.open(std::max(0, m_selected));
}

CErrorPtr CTextView::onEditTick(CObject*, CObject*) { return m_editor.tick(platform::secondsSinceStart()); }

CErrorPtr CTextView::onEditEnded(CObject* params, CObject*) {
    if (!params) return nullptr;
    m_editor.closed();
    CObject out;
    out.setAttr("text", params->getAttr("text"));
    out.setAttr("paragraph-index", params->getAttr("paragraph-index"));
    out.setAttr("is-cancelled", params->getAttr("is-cancelled"));
    ZEL_TRY(CInputRouter::sendToView(*this, "editbox-text-changed", &out, this));
    if (params->getBool("is-cancelled", false)) {
        // Changes that came while the box was open were not shown.
        auto* value = dynamic_cast<CUIParam*>(findChild("ui-param-value"));
        if (value && value->isReady()) setAttr("title", value->text());
        return nullptr;
    }
    const CString text = params->getAttr("text");
    const int at = int(params->getInt("paragraph-index", 0));
    if (text != paragraphText(at)) replaceParagraph(at, text);
    if (auto* value = dynamic_cast<CUIParam*>(findChild("ui-param-value"))) {
        // A text parameter's empty value is one space.
        ZEL_TRY(value->setText(text.empty() ? CString(" ") : text));
    }
    out.removeAttr("is-cancelled");
    return CInputRouter::sendToView(*this, "paragraph-text-changed", &out, this);
}

CErrorPtr CTextView::onEditEmpty(CObject*, CObject*) {
    return CInputRouter::sendToView(*this, "editbox-empty-value", nullptr, this);
}

CErrorPtr CTextView::onValueChanged(CObject* params, CObject*) {
    auto* value = dynamic_cast<CUIParam*>(findChild("ui-param-value"));
    if (!params || !value || params->getAttr("ui-param") != value->name() || !value->isReady()) return nullptr;
    // What is being typed stays until the edit ends.
    if (!m_editor.isEditing()) setAttr("title", value->text());
    return nullptr;
}

void CTextView::drawPiece(CLinearBitmap& bitmap, const CRect& clip, const CTextItem& item, const CTextPiece& piece,
                          int x, const CRect& line, CColor colour, double opacity) const {
    int baseline = line.bottom - m_fonts.regular->spaceBelow();
    if (item.kind == CTextItem::EKind::Image) {
        if (!item.image) return;
        CColor tint = colour;
        if (!item.imageRole.empty()) tint = roleOr(*this, item.imageRole, colour);
        // Images sit in the middle of the line, where the text's lower case letters are.
        drawImage(bitmap, clip, *item.image, x, line.top + (line.height() - item.image->nominalHeight()) / 2, tint,
                  opacity);
        return;
    }
    if (item.kind != CTextItem::EKind::Word) return;
    const CFont& font = m_fonts.of(item.style);
    const CString text = item.text.substr(piece.from, piece.count);
    // Superscript sits about a third of a line above the baseline.
    if (item.style.superscript) baseline -= int(std::lround(m_fonts.regular->lineHeight() * 0.35));
    if (!item.style.italic) {
        drawText(bitmap, clip, font, x, baseline, text, colour, opacity);
        return;
    }
    // Each row leans right by its height above the baseline.
    const int top = baseline - font.lineHeight() - font.spaceAbove();
    const int bottom = baseline + font.spaceBelow() + 1;
    for (int y = top; y < bottom; ++y) {
        const CRect row = clip.intersect(CRect{clip.left, y, clip.right, y + 1});
        if (row.isEmpty()) continue;
        drawText(bitmap, row, font, x + int(std::lround((baseline - y) * kItalicSlant)), baseline, text, colour,
                 opacity);
    }
}

void CTextView::drawRule(CLinearBitmap& bitmap, const CRect& clip, int left, int right, int top, int height,
                         double opacity) const {
    if (!m_rule || right <= left) return;
    // The rule's ends fade; its middle column stretches between them.
    const int w = m_rule->nominalWidth(), half = std::min(w / 2, (right - left) / 2);
    const int y = top + (height - m_rule->nominalHeight()) / 2, bottom = y + m_rule->nominalHeight();
    const CColor tint = 0x808080;
    drawImage(bitmap, clip.intersect(CRect{left, y, left + half, bottom}), *m_rule, left, y, tint, opacity);
    drawImage(bitmap, clip.intersect(CRect{right - half, y, right, bottom}), *m_rule, right - w, y, tint, opacity);
    for (int x = left + half; x < right - half; ++x)
        drawImage(bitmap, clip.intersect(CRect{x, y, x + 1, bottom}), *m_rule, x - w / 2, y, tint, opacity);
}

void CTextView::drawSelf(CLinearBitmap& bitmap, const CRect& clip) const {
    CView::drawSelf(bitmap, clip);
    const CRect inner{area().left + placement().inner.left, area().top + placement().inner.top,
                      area().right - placement().inner.right, area().bottom - placement().inner.bottom};
    const CRect textClip = clip.intersect(area());
    for (size_t i = 0; i < m_paragraphs.size(); ++i) {
        const CParagraph& p = m_paragraphs[i];
        const bool selected = int(i + m_first) == m_selected;
        const bool hovered = m_hoverable && int(i) == m_hovered;
        const double opacity = p.isEnabled ? 1.0 : m_disabledOpacity;
        // The hovered paragraph is lit from behind, so its text keeps the
        // contrast of its own colours.
        if (selected || hovered) {
            const int top = m_textTop + p.top - m_spacing / 2;
            const CRect band{area().left, top, area().right, top + p.height + m_spacing};
            bitmap.fillRect(band.intersect(textClip), selected ? m_selectionColour : m_hoverColour, 1.0);
        }
        for (const CTextLine& line : p.lines) {
            const int top = m_textTop + p.top + line.top;
            if (line.rule) {
                drawRule(bitmap, textClip, inner.left, inner.right, top, line.height, opacity);
                continue;
            }
            const CRect box{inner.left, top, inner.right, top + line.height};
            for (const CTextPiece& piece : line.pieces) {
                const CTextItem& item = p.items[piece.item];
                CColor colour = m_colours[item.style.colour];
                if (selected) colour = m_selectionText;
                drawPiece(bitmap, textClip, item, piece, inner.left + piece.x, box, colour, opacity);
            }
        }
        if (p.hasSubList && !p.lines.empty()) {
            const CTextLine& first = p.lines.front();
            const CColor colour = selected ? m_selectionText : m_colours[0];
            drawImage(bitmap, textClip, *m_subListArrow, inner.right - m_subListArrow->nominalWidth(),
                      m_textTop + p.top + first.top + (first.height - m_subListArrow->nominalHeight()) / 2, colour,
                      opacity);
        }
    }
}

}  // namespace zel
