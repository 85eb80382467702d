// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "UI/Controls/ParagraphEditor.h"
#include "UI/Controls/TextWrapper.h"
#include "UI/View.h"

namespace zel {

// `ui:textview`: the paragraphs of `title` (split at `separator-char` when
// set) with their markup, in the font `font-name`, wrapped to the inner
// width when `is-text-wrapped`, aligned by `text-alignment` and
// `text-alignment-v`. Lines are the font's line height plus
// `line-height-modifier` apart, paragraphs `paragraph-spacing` apart.
// As a list, `is-paragraph-hoverable` shows the paragraph under the pointer
// in "HoveredParagraph", and `is-paragraph-selectable` selects one with a
// click ("selected-paragraph-changed", `paragraph-index`), or a right-click
// with `is-right-click-selects`; a double-click
// sends "paragraph-dbl-clicked". Lists give their entries instead of a
// title: disabled ones are drawn at `disabled-paragraph-opacity` and take
// no hover or clicks, those with a sub-list show "DynListArrow" at their
// right edge, at most `max-item-count` show (0: all), and an empty list
// shows `no-items-title` unless `allow-no-paragraphs`.
// With `text-source`, the paragraphs are the items of that list object
// (a value list's items, or each child's `content`, else its `title`),
// re-read when it sends
// "values-changed", or the titles of the values of a stepped parameter
// (a `ui:param-bridge`), re-read when it changes; with
// `text-source-single-value` only that item shows.
// A source that cannot be found shows `no-items-title`.
// The selected paragraph starts with `active-paragraph-prefix`. A view
// sized by its text grows to at most `max-text-height`.
// With `popup-tag`, a click opens that popup, whose text view "list" shows
// the same paragraphs; the entry chosen there comes back as "popup-result"
// (`index`, `list-id`, `result-target`) and becomes the selected one.
// Choosing the entry already selected closes the popup, and sends the
// result again only with `do-send-same-result`.
// The opener's `window-alignment` and `is-local-popup` place the popup,
// and `is-same-width` gives it the opener's width (else `popup-width`, if
// the opener has one); `shift-x` and `shift-y`
// move it, `popup-inner-border` and `popup-text-alignment` set its list's
// border and alignment. The popup is as high as its entries, but never
// higher than the screen's work area: a longer list scrolls (its root view
// is scrollable, and its bar "scroller-v" shows), starting with the
// selected entry in the middle where it can be.
// An editable view (`is-read-only` "false") opens its paragraphs in an edit
// box (CParagraphEditor), and at once when Tab brings the focus to it; it
// passes the box's "editbox-text-changed" and "editbox-empty-value" on, and
// an accepted text replaces the paragraph and sends "paragraph-text-changed"
// (`text`, `paragraph-index`). With a ui-param "ui-param-value" the view
// shows that value's text, and an accepted edit writes it. With
// `is-password` each character shows as a bullet.
class CTextView : public CView {
public:
    struct CListEntry {
        CString title;
        bool isEnabled = true;
        bool hasSubList = false;
    };

    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void readRoles() override;
    void attrChanged(const CString& name) override;

    struct CParagraph {
        std::vector<CTextItem> items;
        std::vector<CTextLine> lines;
        // Relative to the text's top.
        int top = 0, height = 0;
        bool isEnabled = true, hasSubList = false;
    };
    // Shows the entries in place of the title's paragraphs.
    void setEntries(const std::vector<CListEntry>& entries);
    const std::vector<CParagraph>& paragraphs() const { return m_paragraphs; }
    // The paragraph at window point (x, y), or -1.
    int paragraphAt(int x, int y) const;
    int hoveredParagraph() const { return m_hovered; }
    int selectedParagraph() const { return m_selected; }
    // A paragraph's text with its markup, as the title or entry gives it.
    CString paragraphText(int at) const;
    // The window y where paragraph `at` starts, room above its letters included.
    int paragraphTop(int at) const;
    const CParagraphEditor& editor() const { return m_editor; }
    CParagraphEditor& editor() { return m_editor; }
    // Opens the popup list `popup-tag` of any view, shaped by the opener's
    // popup attributes as a text view's is; the entry chosen comes back to
    // `opener` as "popup-result" (`index`).
    static CErrorPtr openPopupList(CView& opener, const std::vector<CListEntry>& entries, int selected);

protected:
    CSize contentSize() const override;
    void placed() override;
    void drawSelf(CLinearBitmap& bitmap, const CRect& clip) const override;

private:
    CErrorPtr onMove(CObject* params, CObject* sender);
    CErrorPtr onExit(CObject* params, CObject* sender);
    CErrorPtr onPress(CObject* params, CObject* sender);
    CErrorPtr onPressRight(CObject* params, CObject* sender);
    CErrorPtr onPopupResult(CObject* params, CObject* sender);
    CErrorPtr onFocus(CObject* params, CObject* sender);
    CErrorPtr onEditTick(CObject* params, CObject* sender);
    CErrorPtr onEditEnded(CObject* params, CObject* sender);
    CErrorPtr onEditEmpty(CObject* params, CObject* sender);
    CErrorPtr onValueChanged(CObject* params, CObject* sender);
    // The paragraph's text becomes `text`, in the title or the entries.
    void replaceParagraph(int at, const CString& text);
    CErrorPtr onSourceChanged(CObject* params, CObject* sender);
    // The fonts and metrics of the text at `scale`.
    CErrorPtr readText(double scale);
    // The texts of the paragraphs: the title's, or the items of
    // `text-source`; false when the source cannot be found. `enabled`
    // gets whether each can be chosen.
    bool sourceTexts(std::vector<CString>& out, std::vector<bool>* enabled = nullptr) const;
    // Gives the popup `root` of `opener`, whose list is `list`, the height
    // of the entries within the screen's work area.
    static void fitPopupList(CView& opener, CView& root, CTextView& list, int width, int selected);
    void rereadParagraphs();
    // Selects an enabled paragraph the way a click does.
    CErrorPtr select(int at);
    CErrorPtr openPopupList();
    // In a popup list: tells the opener what was chosen and closes.
    CErrorPtr sendPopupResult(int index);
    void readParagraphs();
    void addParagraph(const CString& text, bool isEnabled, bool hasSubList);
    // Lays the paragraphs out in `width`; returns the text's height.
    int layout(int width, bool wrapped);
    // `line` is the box of the piece's line, in window coordinates.
    void drawPiece(CLinearBitmap& bitmap, const CRect& clip, const CTextItem& item, const CTextPiece& piece, int x,
                   const CRect& line, CColor colour, double opacity) const;
    void drawRule(CLinearBitmap& bitmap, const CRect& clip, int left, int right, int top, int height,
                  double opacity) const;

    CTextFonts m_fonts;
    // The scale of the fonts and images: the popup list's is read before the list is placed.
    double m_textScale = 1.0;
    const CImage* m_rule = nullptr;
    const CImage* m_subListArrow = nullptr;
    bool m_hasEntries = false;
    CObject* m_source = nullptr;
    std::vector<CListEntry> m_entries;
    double m_disabledOpacity = 0.33;
    std::vector<CParagraph> m_paragraphs;
    ETextAlign m_align = ETextAlign::Left;
    EAlign m_alignV = EAlign::Start;
    bool m_wrapped = true;
    int m_lineHeight = 0, m_spacing = 0;
    int m_textTop = 0, m_textHeight = 0;
    CColor m_colours[3] = {0, 0, 0};
    CColor m_hoverColour = 0, m_selectionColour = 0, m_selectionText = 0;
    bool m_hoverable = false, m_selectable = false, m_clickCancels = false;
    int m_hovered = -1, m_selected = -1;
    // The entry of the first paragraph: a popup list too long for the
    // screen starts where its selected entry shows. Entry indices are
    // what selections and results name.
    size_t m_first = 0;
    // Filled by the text view whose popup this list is.
    bool m_isPopupList = false;
    CParagraphEditor m_editor{*this};
    bool m_listensToFrames = false;
    bool m_ready = false;

    friend class CParagraphEditor;
};

}  // namespace zel
