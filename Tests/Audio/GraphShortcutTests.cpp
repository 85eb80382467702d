// SPDX-License-Identifier: GPL-3.0-or-later
// The block walk's shortcuts for blocks where nothing changed, each against
// the change it has to notice.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "Audio/AudioEngine.h"
#include "Audio/Engine/AudioGraph.h"
#include "Audio/Engine/AudioParamSlot.h"
#include "Core/XMLData.h"
#include "Support/Documents.h"
#include "Support/Instance.h"

using namespace zel;

namespace {

// A context whose processes read one switch in their first slot (a
// bypass's enable), with a values count the test moves on.
struct CContext final : CAudioGraphContext {
    uint64_t values = 1;
    CPoolAllocator p;
    CAudioStreamFormat f{48000, 64};
    CAudioParamInfo info;
    std::unique_ptr<CAudioParamCopy> enable;

    CContext() {
        info.isSingleGroup = true;
        enable = std::make_unique<CAudioParamCopy>(info);
    }
    void setEnable(double v) {
        enable->setGroup(0, &v, 1);
        ++values;
    }
    CPoolAllocator& pool() override { return p; }
    const CAudioStreamFormat& format() const override { return f; }
    void bindSlots(const CAudioProcessDefBase&, std::vector<CAudioParamSlot>& slots) override {
        if (!slots.empty()) slots[0].bind(enable.get(), false, false);
    }
    const CAudioParamCopy* findParam(const CObject&, const CString&) override { return enable.get(); }
    CAudioVizCollector* vizCollector() override { return nullptr; }
    uint64_t valuesVersion() const override { return values; }
};

CAudioChannel channel(CAudioGraphContext& ctx, int number, int group) {
    CAudioChannel c;
    c.buffer = ctx.newBuffer();
    std::fill(c.buffer.data(), c.buffer.data() + 64, double(number + 1));
    c.channel = number;
    c.group = group;
    return c;
}

const CAudioProcessDefBase& load(CObject& root, const std::string& xml) {
    EXPECT_EQ(CXMLData::loadFromMemory("graph", compileDocument(xml, "shortcuts"), root), nullptr);
    EXPECT_EQ(root.init(), nullptr);
    return *dynamic_cast<CAudioProcessDefBase*>(root.findChild("graph"));
}

}  // namespace

// A stack whose channels all belong to one group hands its element the
// channel lists themselves; the dry input of another group must still not
// reach that element, and the stack keeps its inputs for the container,
// which compares them with the output.
TEST(GraphShortcuts, AStackWithOneGroupGivesItsElementThatGroupOnly) {
    CObject root;
    const CAudioProcessDefBase& def = load(root, "<document><audio:modBypass name=\"graph\"/></document>");
    CContext ctx;
    ctx.setEnable(1);  // bypassed: the output is the dry input, or silence without one
    CAudioProcessStack stack;
    ASSERT_EQ(stack.init(def, ctx), nullptr);
    for (int dryGroup : {0, 1}) {
        SCOPED_TRACE(dryGroup);
        stack.inputs[0] = {channel(ctx, 0, 0), channel(ctx, 1, 0)};
        stack.inputs[1] = {channel(ctx, 0, dryGroup), channel(ctx, 1, 0)};
        stack.update();
        stack.process(64);
        ASSERT_EQ(stack.output.size(), 2u);
        EXPECT_EQ(stack.output[0].buffer.get() == stack.inputs[1][0].buffer.get(), dryGroup == 0)
            << "channel 0's dry input belongs to its group";
        EXPECT_EQ(stack.output[1].buffer.get(), stack.inputs[1][1].buffer.get());
        ASSERT_EQ(stack.inputs[0].size(), 2u) << "the stack's own inputs stay where they were";
        EXPECT_EQ(stack.inputs[0][1].channel, 1);
        EXPECT_EQ(stack.elementCount(), 1u);
    }
}

// With the values unchanged, the bypass states are not looked at again,
// except while a child fades over to its input: it is skipped once the fade
// is over, and a new value is taken at the next block.
TEST(GraphShortcuts, BypassStatesWakeWithAValueAndStayAwakeThroughAFade) {
    CObject root;
    const CAudioProcessDefBase& def =
        load(root,
             "<document><audio:process-def name=\"graph\" is-auto-links=\"true\">"
             "<audio:modBypass name=\"b\" bypass-state-id=\"3\" is-smooth-update=\"true\" xfade-length=\"0.001\"/>"
             "<audio:process-bypass-state name=\"s\" id=\"3\" param=\"x\" value=\"1.0\" is-inverted=\"false\"/>"
             "</audio:process-def></document>");
    CContext ctx;
    ctx.setEnable(0);
    CAudioProcess graph;
    ASSERT_EQ(graph.init(def, ctx), nullptr);
    auto block = [&] {
        graph.inputs[0] = {channel(ctx, 0, 0)};
        graph.update();
        graph.process(64);
    };
    block();
    block();
    EXPECT_FALSE(graph.isBypassed("b"));
    ctx.setEnable(1);
    // The fade of 48 samples runs in the first block; the state and the
    // values stay the same from then on.
    block();
    EXPECT_FALSE(graph.isBypassed("b")) << "fading";
    block();
    EXPECT_TRUE(graph.isBypassed("b")) << "the fade is over";
    block();
    EXPECT_TRUE(graph.isBypassed("b"));
    ctx.setEnable(0);
    block();
    EXPECT_FALSE(graph.isBypassed("b")) << "the new value is seen at once";
}

// The engine fills a host channel's buffer of the last block again only
// when nothing else holds it: a holder keeps the samples it was given.
TEST(GraphShortcuts, HostBuffersAreRefilledOnlyWhenNothingElseHoldsThem) {
    CInstance inst;
    CAudioEngine engine;
    ASSERT_EQ(engine.build(*inst.root.findObject("plugin")), nullptr);
    engine.setFormat(48000, 64);
    std::vector<double> a(64), b(64), out0(64), out1(64);
    const double* in[] = {a.data(), b.data()};
    double* out[] = {out0.data(), out1.data()};
    CAudioBufferRef held;
    for (int block = 0; block < 4; ++block) {
        std::fill(a.begin(), a.end(), double(block + 1));
        std::fill(b.begin(), b.end(), -double(block + 1));
        engine.process(in, 2, out, 2, 64);
        const CAudioChannels& host = engine.graph().inputs[0];
        ASSERT_EQ(host.size(), 2u);
        EXPECT_EQ(host[0].buffer.get()->data()[63], double(block + 1)) << "block " << block;
        EXPECT_EQ(host[1].buffer.get()->data()[0], -double(block + 1)) << "block " << block;
        if (held) {
            EXPECT_EQ(held.data()[0], double(block)) << "the held block " << block - 1;
        }
        held = host[0].buffer;
    }
}
