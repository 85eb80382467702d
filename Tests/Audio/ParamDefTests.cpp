// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>

#include "Audio/ParamDef.h"
#include "Core/Application.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

const char* kConverters = R"(
  <core:object name="paramcvt">
    <audio:cvt-gain name="gain" is-discrete="false" scale-power="1.0" scale-threshold="-1.0" decimals="1" label="dB"/>
    <audio:cvt-text name="text" label="" is-discrete="true"/>
    <audio:cvt-real name="real" label="" is-discrete="false" decimals="2"/>
    <audio:cvt-time name="time" is-discrete="false" is-log="false" scale="0.001" is-exact="false" is-precise="false" label="ms"/>
    <audio:cvt-enum name="enum" label="" is-discrete="true" state-names=""/>
    <audio:cvt-enum name="enum-enable" label="" is-discrete="true" state-names="Off;On"/>
  </core:object>)";

// Loads the converters and `body` into a fresh root and initialises it.
struct CDefs {
    CObject root;
    CErrorPtr error;

    CDefs(const std::string& body, const std::string& leaf) {
        const std::string xml = std::string("<document>") + kConverters + body + "</document>";
        error = CXMLData::loadFromMemory("defs", compileDocument(xml, leaf), root);
        if (!error) error = root.init();
    }
    template <class T>
    T* get(const char* path) {
        return dynamic_cast<T*>(root.findObject(path));
    }
    std::string errorText() const { return error ? error->text().utf8() : std::string("<no error>"); }
};

std::string paramError(const std::string& attrs, const std::string& leaf) {
    return CDefs("<audio:param name=\"p\" " + attrs + "/>", leaf).errorText();
}

}  // namespace

TEST(ParamDefs, DefaultsFollowTheValueSyntax) {
    CDefs d(R"(
      <audio:param name="in-routing" converter="paramcvt.enum" min-values="0" max-values="16"
          def-values="1,2,0,0,0,0,0,0" is-storable="true" is-single-group="true" visual-name="In routing"/>
      <audio:param name="delay-time-mode" converter="paramcvt.enum" min-values="0" max-values="2"
          def-values="0" state-names="Msec;Meter;Foot"/>
      <audio:param name="gain" converter="paramcvt.gain" min-values="-12" max-values="12" def-values="0"/>
      <audio:param name="pairs" element-size="2" converter="paramcvt.real" converter2="paramcvt.time"
          min-values="-1 0" max-values="1 100" def-values="0.5 10,-0.25 20;1 30"/>
      <audio:param name="instance-name" data-type="string" converter="paramcvt.text" def-values=" "
          is-persistent="true"/>
      <audio:param name="in-channel-names" data-type="string" converter="paramcvt.text"
          def-values="L,R,IN3,IN4"/>
      <audio:param name="clamped" converter="paramcvt.gain" min-values="-12" max-values="12" def-values="20;-30"/>)",
            "defaults");
    ASSERT_EQ(d.error, nullptr) << d.errorText();

    const CAudioParamInfo& routing = d.get<CAudioParamDef>("in-routing")->info();
    ASSERT_EQ(routing.defaultValue.groupCount(), 1u);
    EXPECT_EQ(routing.defaultValue.elementCount(0), 8u);
    EXPECT_TRUE(routing.isStorable && routing.isSingleGroup && !routing.isGlobal);
    EXPECT_EQ(routing.visualName, "In routing");
    // A value holding three elements leaves the rest at default.
    CAudioParamValue partial(1);
    for (int e = 0; e < 3; ++e) partial.set(0, e, 0, 9.0);
    EXPECT_EQ(routing.read(partial, 0, 2, 0), 9.0);
    EXPECT_EQ(routing.read(partial, 0, 1 + 2, 0), 0.0);
    EXPECT_EQ(routing.read(partial, 5, 1, 0), 2.0) << "a missing group reads the first default group";

    const CAudioParamInfo& mode = d.get<CAudioParamDef>("delay-time-mode")->info();
    EXPECT_EQ(mode.defaultValue.groupCount(), 1u);
    EXPECT_EQ(mode.read(mode.defaultValue, 5, 3, 0), 0.0) << "past the default element: the first element";
    ASSERT_EQ(mode.stateNames.size(), 3u);
    EXPECT_EQ(mode.stateNames[1], "Meter");

    const CAudioParamInfo& gain = d.get<CAudioParamDef>("gain")->info();
    EXPECT_NEAR(gain.minValues[0], std::pow(10.0, -12.0 / 20), 1e-15);
    EXPECT_NEAR(gain.maxValues[0], std::pow(10.0, 12.0 / 20), 1e-15);
    EXPECT_NEAR(gain.defaultValue.group(0)[0], 1.0, 1e-15);

    const CAudioParamInfo& pairs = d.get<CAudioParamDef>("pairs")->info();
    ASSERT_EQ(pairs.defaultValue.groupCount(), 2u);
    EXPECT_EQ(pairs.defaultValue.elementCount(0), 2u);
    EXPECT_EQ(pairs.defaultValue.group(0), (std::vector<double>{0.5, 0.01, -0.25, 0.02}));
    EXPECT_EQ(pairs.defaultValue.group(1), (std::vector<double>{1.0, 0.03}));

    const CAudioParamInfo& name = d.get<CAudioParamDef>("instance-name")->info();
    EXPECT_EQ(name.dataType, CAudioParamInfo::kString);
    ASSERT_EQ(name.defaultItems.size(), 1u) << "one space is one element, not an empty list";
    EXPECT_EQ(name.defaultItems[0], " ");
    EXPECT_EQ(name.defaultValue.group(0), std::vector<double>{1.0});
    EXPECT_TRUE(name.isPersistent);

    const CAudioParamInfo& channels = d.get<CAudioParamDef>("in-channel-names")->info();
    EXPECT_EQ(channels.defaultItems, (std::vector<CString>{"L", "R", "IN3", "IN4"}));
    EXPECT_EQ(channels.defaultValue.group(0), (std::vector<double>{1, 2, 3, 4}));

    const CAudioParamInfo& clamped = d.get<CAudioParamDef>("clamped")->info();
    EXPECT_DOUBLE_EQ(clamped.defaultValue.group(0)[0], clamped.maxValues[0]);
    EXPECT_DOUBLE_EQ(clamped.defaultValue.group(1)[0], clamped.minValues[0]);
}

TEST(ParamDefs, DefinitionErrorsHaveExactMessages) {
    struct Case {
        const char* attrs;
        const char* message;
    };
    const Case cases[] = {
        {R"(element-size="0" converter="paramcvt.real" def-values="0")", "Invalid element size 0 specified."},
        {R"(element-size="2" data-type="string" converter="paramcvt.text" converter2="paramcvt.text" def-values="a")",
         "Invalid element size 2 for non-float data specified."},
        {R"(converter="paramcvt.real" min-values="0" max-values="1")", "No default values specified."},
        {R"(converter="paramcvt.real" min-values="0" max-values="1" def-values="0,x")",
         "Default values parsing error."},
        {R"(element-size="2" converter="paramcvt.real" converter2="paramcvt.real" min-values="0 0" max-values="1 1" def-values="0 0,1")",
         "Not enough default elements at pos 4."},
        {R"(element-size="2" converter="paramcvt.real" converter2="paramcvt.real" min-values="0" max-values="1 1" def-values="0 0")",
         "Not enough minimum values defined 1 (should be 2)."},
        {R"(converter="paramcvt.real" min-values="0" def-values="0")",
         "Not enough maximum values defined 0 (should be 1)."},
        {R"(converter="paramcvt.real" min-values="3" max-values="3" def-values="3")",
         "Zero default min-max values difference detected in element 0."},
        {R"(converter="paramcvt.nothing" def-values="0")", "Audio parameter converter 'paramcvt.nothing' not found."},
        {R"(element-size="3" converter="paramcvt.real" converter2="paramcvt.real" def-values="0")",
         "Not enough converters defined 2 (should be 3)."},
        {R"(converter="paramcvt.enum" min-values="0" max-values="1" def-values="0" state-names=";")",
         "No state names data available in 'p'."},
    };
    int i = 0;
    for (const Case& c : cases)
        EXPECT_EQ(paramError(c.attrs, "param-error-" + std::to_string(i++)), c.message) << c.attrs;
}

TEST(ParamDefs, AllocationsRemapsAndHostNames) {
    CDefs good(R"(
      <core:object name="modLagwell">
        <audio:param-alloc name="param-alloc" param-name="time" index="0" use-all-groups="false" use-all-elements="true"/>
        <audio:param-remap name="remap"><content>modDelay.time = audio-delay; modDelay.samples = sample-delay;
          modDelay.time-mode = delay-time-mode;</content></audio:param-remap>
        <audio:param-remap name="single" orig="group-solo" new="^io-params.channel-group-solo"/>
      </core:object>
      )",
               "allocs");
    ASSERT_EQ(good.error, nullptr) << good.errorText();
    auto* alloc = good.get<CAudioParamAllocDef>("modLagwell.param-alloc");
    ASSERT_NE(alloc, nullptr);
    EXPECT_EQ(alloc->paramName(), "time");
    EXPECT_TRUE(alloc->useAllElements());
    EXPECT_FALSE(alloc->useAllGroups());
    using M = CAudioParamRemapDef::CMapping;
    EXPECT_EQ(good.get<CAudioParamRemapDef>("modLagwell.remap")->mappings(),
              (std::vector<M>{{"modDelay.time", "audio-delay"},
                              {"modDelay.samples", "sample-delay"},
                              {"modDelay.time-mode", "delay-time-mode"}}));
    EXPECT_EQ(good.get<CAudioParamRemapDef>("modLagwell.single")->mappings(),
              (std::vector<M>{{"group-solo", "^io-params.channel-group-solo"}}));

    struct Case {
        const char* body;
        const char* message;
    };
    const Case cases[] = {
        {R"(<audio:param-alloc param-name="" index="0"/>)", "Invalid parameter name specified."},
        {R"(<audio:param-alloc param-name="gain" index="-1"/>)", "Invalid parameter's 'gain' index '-1' specified."},
        {R"(<audio:param-remap><content> ; </content></audio:param-remap>)", "No remappings defined."},
        {R"(<audio:param-remap><content>a = b; c d;</content></audio:param-remap>)",
         "Invalid remapping string 'c d' defined."},
        {R"(<audio:ext-param param-name="x" ext-name="ADelay10"/>)",
         "Externalized parameter name 'ADelay10' is too long"},
        {R"(<audio:ext-param param-name="x" ext-name=""/>)", "Externalized parameter name '' is too long"},
    };
    int i = 0;
    for (const Case& c : cases) EXPECT_EQ(CDefs(c.body, "alloc-error-" + std::to_string(i++)).errorText(), c.message);
}
