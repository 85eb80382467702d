// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Audio/ParamStorage.h"
#include "Core/Object.h"

namespace zel {

// Derives destination parameters from source parameters whenever a source
// changes, so that users edit convenient forms (digits, pair tables, solo
// switches) while the engine reads compact derived values.
class CAudioParamFilter {
public:
    static constexpr size_t kMaxParams = 10;
    // The group number that stands for "all groups" in change reports.
    static constexpr int kAnyGroup = 9999;

    virtual ~CAudioParamFilter() = default;

    // Binds the filter to its parameters; the counts must fit the type.
    CErrorPtr bind(std::vector<const CAudioParamStorage*> sources, std::vector<CAudioParamStorage*> destinations);
    virtual size_t requiredSources() const { return 1; }
    virtual size_t requiredDestinations() const { return 1; }
    // A source changed in `group`: writes element 0 of the destination.
    void apply(int group);
    // What element 0 of a destination of type `destination` becomes when
    // the source holds `source` (without storage: an audio-side copy).
    double derive(const CAudioParamValue& source, size_t group, const CAudioParamInfo& destination) const;

    static CErrorPtr checkCounts(size_t sources, size_t destinations, size_t requiredSources,
                                 size_t requiredDestinations);

protected:
    virtual double compute(const CAudioParamValue& source, size_t group) const = 0;

private:
    std::vector<const CAudioParamStorage*> m_sources;
    std::vector<CAudioParamStorage*> m_destinations;
};

// Sum of decimal digits (least significant first) times a factor.
class CAudioParamFilterDigit final : public CAudioParamFilter {
public:
    explicit CAudioParamFilterDigit(double factor) : m_factor(factor) {}

protected:
    double compute(const CAudioParamValue& source, size_t group) const override;

private:
    double m_factor;
};

// 0 (coders active) when some M/S pair number is carried by two or more
// channels, 1 (coders bypassed) otherwise.
class CAudioParamFilterBypassMS final : public CAudioParamFilter {
protected:
    double compute(const CAudioParamValue& source, size_t group) const override;
};

// 0 when any group is soloed, 1 (solo stage bypassed) otherwise.
class CAudioParamFilterBypassGroupSolo final : public CAudioParamFilter {
protected:
    double compute(const CAudioParamValue& source, size_t group) const override;
};

// Definitions: `src` and `dst` name parameters relative to the filter's
// parent, separated by ",".
class CAudioParamFilterDef : public CObject {
public:
    CErrorPtr init() override;
    const std::vector<CString>& sources() const { return m_sources; }
    const std::vector<CString>& destinations() const { return m_destinations; }
    virtual std::unique_ptr<CAudioParamFilter> createFilter() const = 0;

private:
    std::vector<CString> m_sources;
    std::vector<CString> m_destinations;
};

class CAudioParamFilterDigitDef final : public CAudioParamFilterDef {
public:
    static constexpr long long kMaxDecimals = 32;

    CErrorPtr init() override;
    std::unique_ptr<CAudioParamFilter> createFilter() const override;
    double factor() const { return m_factor; }

private:
    double m_factor = 1.0;
};

class CAudioParamFilterBypassMSDef final : public CAudioParamFilterDef {
public:
    std::unique_ptr<CAudioParamFilter> createFilter() const override;
};

class CAudioParamFilterBypassGroupSoloDef final : public CAudioParamFilterDef {
public:
    std::unique_ptr<CAudioParamFilter> createFilter() const override;
};

}  // namespace zel
