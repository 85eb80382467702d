// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "Audio/ProcessDef.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

struct CLoaded {
    CObject root;
    CErrorPtr error;
    explicit CLoaded(const std::string& body, const std::string& leaf = "process") {
        error = CXMLData::loadFromMemory("process", compileDocument("<document>" + body + "</document>", leaf), root);
        if (!error) error = root.init();
    }
    std::string errorText() const { return error ? error->text().utf8() : std::string("<no error>"); }
};

}  // namespace

TEST(ProcessDefs, AttributesOfContainersModulesAndLinks) {
    CLoaded d(R"(
      <audio:process-def name="modMain" is-auto-links="true">
        <audio:modNode name="modInputNode"/>
        <audio:process-def name="modLagwell" is-stacked="true" is-auto-links="true">
          <audio:modDelay name="modDelay" is-comp-input="false"/>
        </audio:process-def>
        <audio:modGain name="modOutGain" is-stacked="true" is-smooth-update="true" xfade-length="0.015"/>
        <audio:modMSCoder name="modMSEncoder" bypass-state-id="31"/>
        <audio:modMeter name="modMeterIODiff" is-outoforder="true"/>
        <audio:process-link src="modPreUpsampler" dst="modMeterIODiff/1" bypass-state-id="1" state-id="-1"/>
        <audio:process-bypass-state name="process-bypass-state" id="31" param="mid-side-bypass" value="1.0"/>
      </audio:process-def>)");
    ASSERT_EQ(d.error, nullptr) << d.errorText();
    auto* main = dynamic_cast<CAudioProcessDef*>(d.root.findObject("modMain"));
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isAutoLinks());
    EXPECT_EQ(main->bypassStateId(), -1);
    auto* gain = dynamic_cast<CModGainDef*>(d.root.findObject("modMain.modOutGain"));
    ASSERT_NE(gain, nullptr);
    EXPECT_TRUE(gain->isStacked() && gain->isSmoothUpdate());
    EXPECT_DOUBLE_EQ(gain->xfadeLength(), 0.015);
    EXPECT_EQ(dynamic_cast<CModMSCoderDef*>(d.root.findObject("modMain.modMSEncoder"))->bypassStateId(), 31);
    EXPECT_TRUE(dynamic_cast<CModMeterDef*>(d.root.findObject("modMain.modMeterIODiff"))->isOutOfOrder());
    CAudioProcessLinkDef* link = nullptr;
    for (const auto& c : main->children())
        if ((link = dynamic_cast<CAudioProcessLinkDef*>(c.get()))) break;
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->srcProcess(), "modPreUpsampler");
    EXPECT_EQ(link->srcPort(), 0);
    EXPECT_EQ(link->dstProcess(), "modMeterIODiff");
    EXPECT_EQ(link->dstPort(), 1);
    EXPECT_EQ(link->bypassStateId(), 1);
}

TEST(ProcessDefs, BypassStatesEvaluateValuesRangesAndInversion) {
    CLoaded d(R"xml(
      <audio:process-bypass-state name="ms" id="31" param="mid-side-bypass" value="1.0"/>
      <audio:process-bypass-state name="viz" param="modMeterOut-enable" value="1.0" is-inverted="true"/>
      <audio:process-bypass-state name="both" param="a" value="1" and-param="b" and-value="2"/>
      <audio:process-bypass-state name="ranged" param="a" range="[2,4)"/>
      <audio:process-bypass-state name="open" param="a" range="(,0]/0.5"/>)xml",
              "bypass-states");
    ASSERT_EQ(d.error, nullptr) << d.errorText();
    auto state = [&](const char* name) { return dynamic_cast<CAudioProcessBypassStateDef*>(d.root.findObject(name)); };
    EXPECT_TRUE(state("ms")->evaluate(1.0));
    EXPECT_TRUE(state("ms")->evaluate(1.09)) << "within 0.1";
    EXPECT_FALSE(state("ms")->evaluate(0.0));
    EXPECT_EQ(state("ms")->id(), 31);
    EXPECT_TRUE(state("viz")->evaluate(0.0));
    EXPECT_FALSE(state("viz")->evaluate(1.0));
    EXPECT_TRUE(state("both")->evaluate(1, 2));
    EXPECT_FALSE(state("both")->evaluate(1, 3));
    EXPECT_FALSE(state("ranged")->evaluate(1.0));
    EXPECT_TRUE(state("ranged")->evaluate(2.0));
    EXPECT_TRUE(state("ranged")->evaluate(3.4));
    EXPECT_FALSE(state("ranged")->evaluate(3.6)) << "rounds to 4, the exclusive end";
    EXPECT_TRUE(state("open")->evaluate(-100.0));
    EXPECT_TRUE(state("open")->evaluate(0.2)) << "0.2 / 0.5 rounds to 0";
    EXPECT_FALSE(state("open")->evaluate(0.3));
}

TEST(ProcessDefs, DefinitionErrorsHaveExactMessages) {
    struct Case {
        const char* body;
        const char* message;
    };
    const Case cases[] = {
        {R"(<audio:modDelay stack-index-shift="1.5"/>)", "Invalid stack index shift value '1.5' specified."},
        {R"(<audio:process-def is-multiband="true"/>)", "No 'multiband-freq-param' attribute defined."},
        {R"(<audio:process-def is-multiband="true" multiband-freq-param="f"/>)",
         "No 'multiband-count-param' attribute defined."},
        {R"(<audio:process-link dst="b"/>)", "No 'src' attribute defined."},
        {R"(<audio:process-link src="a"/>)", "No 'dst' attribute defined."},
        {R"(<audio:process-link src="a/x" dst="b"/>)", "Invalid port in the 'src' attribute value 'a/x' specified."},
        {R"(<audio:process-link src="/1" dst="b"/>)", "Invalid process in the 'src' attribute value '/1' specified."},
        {R"(<audio:process-link src="a" dst="b/-1"/>)", "Invalid port in the 'dst' attribute value 'b/-1' specified."},
        {R"(<audio:process-link src="a" dst=" /0"/>)", "Invalid process in the 'dst' attribute value ' /0' specified."},
        {R"(<audio:process-link src="a" dst="b" state-id="x"/>)", "Invalid state identifier 'x' specified."},
        {R"(<audio:process-bypass-state id="1" param=""/>)", "Invalid parameter name specified."},
        {R"(<audio:process-bypass-state id="1" param="p" range="[1;2]"/>)",
         "Invalid 'range' attribute value '[1;2]' specified."},
        {R"(<audio:process-bypass-state id="1" param="p" and-param="q" and-range="1,2"/>)",
         "Invalid 'and-range' attribute value '1,2' specified."},
    };
    int i = 0;
    for (const Case& c : cases)
        EXPECT_EQ(CLoaded(c.body, "process-error-" + std::to_string(i++)).errorText(), c.message) << c.body;
}
