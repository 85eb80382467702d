// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Audio/Engine/AudioBuffer.h"
#include "Audio/Engine/SampleConvert.h"

using namespace zel;

// Both the routines picked for this processor and the ones for any x86-64
// processor convert every sample as a cast does, whatever the length and
// alignment: the packed steps and the rest one by one.
TEST(SampleConvert, EveryRoutineConvertsAsACastDoes) {
    std::vector<double> wide(70);
    std::vector<float> narrow(70);
    for (size_t i = 0; i < wide.size(); ++i) {
        // Doubles between two floats, halfway cases, huge and tiny values.
        wide[i] = std::ldexp(1.0 + double(i) * 0x1p-30 + (i % 3 == 0 ? 0x1p-24 : 0.0), int(i % 11) * 13 - 70);
        if (i % 5 == 0) wide[i] = -wide[i];
        narrow[i] = float(wide[i]) * 1.5f;
    }
    for (size_t offset : {0, 1, 3})
        for (size_t n = 0; n + offset <= wide.size(); n += 1 + n / 8) {
            SCOPED_TRACE(testing::Message() << "offset " << offset << ", " << n << " samples");
            std::vector<float> toFloat(n, -1.0f), toFloatAnywhere(n, -1.0f);
            std::vector<double> toDouble(n, -1.0), toDoubleAnywhere(n, -1.0);
            convertSamples(wide.data() + offset, toFloat.data(), n);
            convertSamplesAnywhere(wide.data() + offset, toFloatAnywhere.data(), n);
            convertSamples(narrow.data() + offset, toDouble.data(), n);
            convertSamplesAnywhere(narrow.data() + offset, toDoubleAnywhere.data(), n);
            for (size_t i = 0; i < n; ++i) {
                ASSERT_EQ(toFloat[i], float(wide[offset + i])) << i;
                ASSERT_EQ(toFloatAnywhere[i], float(wide[offset + i])) << i;
                ASSERT_EQ(toDouble[i], double(narrow[offset + i])) << i;
                ASSERT_EQ(toDoubleAnywhere[i], double(narrow[offset + i])) << i;
            }
        }
}

// A buffer holding a host block converts it where it is first read, once;
// once the host block has ended it reads only what the buffer holds.
TEST(SampleConvert, DeferredHostSamplesAreConvertedWhenFirstRead) {
    CPoolAllocator pool;
    CAudioBufferRef buffer(CAudioBuffer::create(pool, 8));
    std::vector<float> host = {0.5f, -0.25f, 1e-30f, 3.0f, 7.0f};
    std::fill(buffer.data(), buffer.data() + 8, -1.0);
    buffer.get()->defer(host.data(), 4);
    EXPECT_EQ(buffer.get()->hostSamples(), host.data()) << "nothing read yet";
    const CAudioBufferRef& reader = buffer;
    const double* x = reader.data();
    EXPECT_EQ(buffer.get()->hostSamples(), nullptr);
    EXPECT_EQ(std::vector<double>(x, x + 5), (std::vector<double>{0.5, -0.25, double(1e-30f), 3.0, -1.0}));
    host[0] = 9.0f;
    EXPECT_EQ(buffer.data()[0], 0.5) << "converted once";

    buffer.get()->defer(host.data(), 2);
    buffer.get()->endDeferral();
    EXPECT_EQ(buffer.get()->hostSamples(), nullptr);
    EXPECT_EQ(buffer.data()[0], 0.5) << "a host block that ended is not read";
}
