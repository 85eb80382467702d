// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <vector>

#include "Audio/ParamValue.h"
#include "Core/Object.h"

namespace zel {

// Translates one component of a parameter between its plain value (what the
// engine and the state hold), the normalised value in [0, 1] (knobs, host)
// and text. Converters are shared by many parameters and hold no range: the
// component's minimum and maximum come from the parameter information.
class CAudioParamConverter : public CObject {
public:
    // Display modes of plainToText; kModeShort is the host's text.
    enum EDisplayMode { kModeNormal = 0, kModeCompact = 1, kModeShort = 2, kModePrecise = 3 };

    CErrorPtr init() override;

    // Typed text to a plain value inside the component's range. Text that
    // does not parse gives the converter's fallback and *ok = false. By
    // default the unclamped result, clamped.
    virtual double textToPlainClamped(const CAudioParamInfo& info, size_t component, const CString& text,
                                      bool* ok = nullptr) const;
    // The same without clamping: ranges and defaults are read this way.
    virtual double textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                               bool* ok = nullptr) const = 0;
    virtual CString plainToText(const CAudioParamInfo& info, size_t component, double value,
                                int mode = kModeNormal) const = 0;
    virtual double normalizedToPlain(const CAudioParamInfo& info, size_t component, double normalized) const = 0;
    virtual double plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const = 0;
    // The number the text of that value shows; the plain value by default.
    virtual double normalizedToDisplay(const CAudioParamInfo& info, size_t component, double normalized) const;

    const CString& label() const { return m_label; }
    bool isDiscrete() const { return m_isDiscrete; }

protected:
    // Into [min, max] of the component, whichever bound is the smaller.
    static double clampPlain(const CAudioParamInfo& info, size_t component, double value);
    static void report(bool* ok, bool success) {
        if (ok) *ok = success;
    }
    // `decimals` in 0..10; `message` is reported with the attribute's text.
    CErrorPtr readDecimals(unsigned fallback, const char* message, unsigned& out) const;

private:
    CString m_label;
    bool m_isDiscrete = false;
};

// Logarithmic mapping between normalised and plain values; with a positive
// `scale-threshold` the normalised range splits there into a part ending at
// gain 1.0 and a part above it.
class CAudioParamConverterLog : public CAudioParamConverter {
public:
    CErrorPtr init() override;
    double normalizedToPlain(const CAudioParamInfo& info, size_t component, double normalized) const override;
    double plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const override;

private:
    bool usesPower() const;

    double m_power = 1.0;
    double m_threshold = -1.0;
};

// `audio:cvt-gain`: plain values are linear gains, texts are decibels.
class CAudioParamConverterGain : public CAudioParamConverterLog {
public:
    // 20 / ln 10: decibels per neper of amplitude.
    static constexpr double kDecibelFactor = 8.685889638065037;

    CErrorPtr init() override;
    double textToPlainClamped(const CAudioParamInfo& info, size_t component, const CString& text,
                              bool* ok = nullptr) const override;
    double textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                       bool* ok = nullptr) const override;
    CString plainToText(const CAudioParamInfo& info, size_t component, double value,
                        int mode = kModeNormal) const override;
    double normalizedToDisplay(const CAudioParamInfo& info, size_t component, double normalized) const override;

    unsigned decimals() const { return m_decimals; }

private:
    unsigned m_decimals = 1;
};

// Linear mapping between normalised and plain values.
class CAudioParamConverterRound : public CAudioParamConverter {
public:
    double normalizedToPlain(const CAudioParamInfo& info, size_t component, double normalized) const override;
    double plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const override;
};

// `audio:cvt-real`: plain numbers shown with `decimals` decimals.
class CAudioParamConverterReal : public CAudioParamConverterRound {
public:
    CErrorPtr init() override;
    double textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                       bool* ok = nullptr) const override;
    CString plainToText(const CAudioParamInfo& info, size_t component, double value,
                        int mode = kModeNormal) const override;

    unsigned decimals() const { return m_decimals; }

private:
    unsigned m_decimals = 2;
};

// `audio:cvt-text`: the value is the id of a data item whose text is shown.
// Texts are edited as data items, so typed text converts to nothing.
class CAudioParamConverterText : public CAudioParamConverterRound {
public:
    double textToPlainClamped(const CAudioParamInfo& info, size_t component, const CString& text,
                              bool* ok = nullptr) const override;
    double textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                       bool* ok = nullptr) const override;
    CString plainToText(const CAudioParamInfo& info, size_t component, double value,
                        int mode = kModeNormal) const override;
};

// `audio:cvt-enum`: integer states named by `state-names` (";"-separated,
// starting at the minimum); a parameter's own state names win for display.
class CAudioParamConverterEnum : public CAudioParamConverterRound {
public:
    static constexpr size_t kShortNameLength = 7;

    CErrorPtr init() override;
    double textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                       bool* ok = nullptr) const override;
    CString plainToText(const CAudioParamInfo& info, size_t component, double value,
                        int mode = kModeNormal) const override;
    double normalizedToPlain(const CAudioParamInfo& info, size_t component, double normalized) const override;
    // Reads `state-names` again into the full and short name lists.
    virtual void rebuildStateNames();

    const std::vector<CString>& stateNames() const { return m_names; }
    const std::vector<CString>& stateShortNames() const { return m_shortNames; }

    // At most kShortNameLength characters; of a "long|short" name the part
    // after the bar.
    static CString shortName(const CString& name);

private:
    std::vector<CString> m_names;
    std::vector<CString> m_shortNames;
};

// `audio:cvt-time`: plain values in plain units (seconds), shown in display
// units of `scale` plain units each (milliseconds for 0.001).
class CAudioParamConverterTime : public CAudioParamConverter {
public:
    CErrorPtr init() override;
    double textToPlain(const CAudioParamInfo& info, size_t component, const CString& text,
                       bool* ok = nullptr) const override;
    CString plainToText(const CAudioParamInfo& info, size_t component, double value,
                        int mode = kModeNormal) const override;
    double normalizedToPlain(const CAudioParamInfo& info, size_t component, double normalized) const override;
    double plainToNormalized(const CAudioParamInfo& info, size_t component, double value) const override;
    double normalizedToDisplay(const CAudioParamInfo& info, size_t component, double normalized) const override;

    double scale() const { return m_scale; }

private:
    double m_scale = 1.0;
    bool m_isLog = false;
    bool m_isExact = false;
    bool m_isPrecise = false;
};

}  // namespace zel
