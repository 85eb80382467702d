// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Audio/ParamFilters/ParamFilter.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"
#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

CAudioParamInfo floatInfo(bool singleGroup) {
    CAudioParamInfo info;
    info.minValues = {0};
    info.maxValues = {1e9};
    info.isSingleGroup = singleGroup;
    info.defaultValue.set(0, 0, 0, 0.0);
    return info;
}

// A source storage filled from per-group element lists, a destination, and
// the filter bound between them.
struct CFiltered {
    CAudioParamInfo srcInfo, dstInfo;
    CAudioParamStorage src, dst;
    std::unique_ptr<CAudioParamFilter> filter;

    CFiltered(std::unique_ptr<CAudioParamFilter> f, bool dstSingleGroup)
        : srcInfo(floatInfo(false)),
          dstInfo(floatInfo(dstSingleGroup)),
          src(srcInfo),
          dst(dstInfo),
          filter(std::move(f)) {
        EXPECT_EQ(filter->bind({&src}, {&dst}), nullptr);
    }
    double run(const std::vector<std::vector<double>>& groups, int group) {
        CAudioParamValue v(1);
        for (size_t g = 0; g < groups.size(); ++g) {
            v.addGroup();
            v.group(g) = groups[g];
        }
        src.setValue(v);
        filter->apply(group);
        return dst.read(dstInfo.isSingleGroup ? 0 : size_t(group == CAudioParamFilter::kAnyGroup ? 0 : group), 0);
    }
};

std::string defError(const std::string& element) {
    CObject root;
    CErrorPtr e =
        CXMLData::loadFromMemory("filters", compileDocument("<document>" + element + "</document>", "filter"), root);
    if (!e) e = root.init();
    return e ? e->text().utf8() : "<no error>";
}

}  // namespace

TEST(ParamFilters, DigitsSumLeastSignificantFirst) {
    CFiltered adelay(std::make_unique<CAudioParamFilterDigit>(0.001 / 100), false);
    EXPECT_DOUBLE_EQ(adelay.run({{0, 0, 0, 1, 0, 0}}, 0), 0.01) << "1000 hundredths of a millisecond";
    EXPECT_DOUBLE_EQ(adelay.run({{}, {5, 2, 0, 5, 2, 0}}, 1), 0.25025) << "250.25 ms";
    EXPECT_EQ(adelay.run({{}, {}}, 1), 0.0) << "a group without elements gives 0";
    EXPECT_EQ(adelay.run({{3}}, 4), 0.0) << "a missing group gives 0";

    CFiltered sdelay(std::make_unique<CAudioParamFilterDigit>(1.0), false);
    EXPECT_EQ(sdelay.run({{2, 3}}, CAudioParamFilter::kAnyGroup), 32.0) << "group 9999 stands for group 0";
    EXPECT_EQ(sdelay.run({{9, 9, 9, 9, 9, 9, 9}}, 0), 9999999.0) << "extra digits still count";
}

TEST(ParamFilters, MidSideActiveOnlyForRealPairs) {
    CFiltered ms(std::make_unique<CAudioParamFilterBypassMS>(), true);
    EXPECT_EQ(ms.run({{1, 0, 0, 0, 0, 0, 0, 0}}, 0), 1.0) << "one channel alone makes no pair";
    EXPECT_EQ(ms.run({{1, 1, 0, 0, 0, 0, 0, 0}}, 0), 0.0);
    EXPECT_EQ(ms.run({{0, 2, 3, 0, 0, 0, 0, 2.4}}, 0), 0.0) << "values round to pair numbers";
    EXPECT_EQ(ms.run({{0, 0, 0, 0}}, 0), 1.0);
}

TEST(ParamFilters, GroupSoloBypassFollowsAnySolo) {
    CFiltered solo(std::make_unique<CAudioParamFilterBypassGroupSolo>(), true);
    EXPECT_EQ(solo.run({{0}, {0}, {0}}, 1), 1.0);
    EXPECT_EQ(solo.run({{0}, {0}, {1}}, 2), 0.0);
    EXPECT_EQ(solo.run({{0}, {}, {0.5}}, 2), 0.0) << "0.5 counts as soloed";
    EXPECT_EQ(solo.run({{0}, {0}, {0}}, 2), 1.0) << "clearing the last solo bypasses the stage again";
    EXPECT_EQ(solo.dst.value().groupCount(), 1u) << "a single-group destination keeps one group";
}

TEST(ParamFilters, DefinitionsCheckTheirParameters) {
    struct Case {
        const char* element;
        const char* message;
    };
    const Case cases[] = {
        {R"(<audio:param-filter-digit decimals="2" multiplier="0.001" src="" dst="audio-delay"/>)",
         "No source parameters defined."},
        {R"(<audio:param-filter-bypass-ms src="io-params.ms-pairs" dst=""/>)", "No destination parameters defined."},
        {R"(<audio:param-filter-bypass-ms src="a,b" dst="c"/>)", "<no error>"},
        {R"(<audio:param-filter-bypass-ms src="a,b,c,d,e,f,g,h,i,j" dst="c"/>)",
         "Too many source parameters 10 defined in the param filter."},
        {R"(<audio:param-filter-bypass-group-solo src="a" dst="b,c,d,e,f,g,h,i,j,k,l"/>)",
         "Too many destination parameters 11 defined in the param filter."},
        {R"(<audio:param-filter-digit decimals="33" multiplier="1" src="a" dst="b"/>)",
         "Invalid 'decimals' attribute '33' defined."},
        {R"(<audio:param-filter-digit decimals="0" multiplier="1.0" src="sdelay" dst="sample-delay"/>)", "<no error>"},
    };
    for (const Case& c : cases) EXPECT_EQ(defError(c.element), c.message) << c.element;
    EXPECT_EQ(CAudioParamFilter::checkCounts(0, 1, 1, 1)->text(),
              "Not enough source parameters 0 defined in the param filter (required 1).");
    EXPECT_EQ(CAudioParamFilter::checkCounts(1, 0, 1, 1)->text(),
              "Not enough destination parameters 0 defined in the param filter (required 1).");
}

TEST(ParamFilters, AnInstanceRunsItsFiltersOnEveryEdit) {
    CInstance inst;
    EXPECT_EQ(inst.value("group-solo-bypass"), 1.0) << "derived values start from the sources' defaults";
    EXPECT_EQ(inst.value("mid-side-bypass"), 1.0);
    inst.edit("io-params.channel-group-solo", 2, 0, {1});
    EXPECT_EQ(inst.value("group-solo-bypass"), 0.0);
    inst.edit("io-params.channel-group-solo", 5, 0, {1});
    inst.edit("io-params.channel-group-solo", 2, 0, {0});
    EXPECT_EQ(inst.value("group-solo-bypass"), 0.0) << "group 6 is still soloed";
    inst.edit("io-params.channel-group-solo", 5, 0, {0});
    EXPECT_EQ(inst.value("group-solo-bypass"), 1.0);

    inst.edit("modLagwell.sdelay", 3, 0, {9, 9, 9, 9, 9, 9, 9});
    EXPECT_EQ(inst.value("modLagwell.sample-delay", 3), 99999.0) << "seven digits, clamped by the destination";
    inst.edit("modLagwell.adelay", 1, 0, {9, 9, 9, 9, 9, 9});
    EXPECT_DOUBLE_EQ(inst.value("modLagwell.audio-delay", 1), 9.99999) << "999999 hundredths of a millisecond";
    EXPECT_EQ(inst.value("modLagwell.audio-delay", 0), 0.0) << "only the edited group";
}
