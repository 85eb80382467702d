// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "Audio/Modules/ModDelay.h"
#include "Audio/ParamDef.h"
#include "Core/Application.h"

using namespace zel;

namespace {

// Distinct samples in [-1, 1), exact in binary; silence before the start
// and before `kept`, the oldest sample a grown ring still had.
double x(int64_t i, int64_t kept = 0) {
    if (i < std::max<int64_t>(kept, 0)) return 0.0;
    return double(int64_t((uint64_t(i) * 2654435761u >> 7) % 2048) - 1024) / 1024.0;
}

// Feeds x() through a delay line in blocks and keeps everything it gave.
struct CLine {
    CPoolAllocator pool;
    CDSPModDelay line;
    std::vector<double> out;

    CLine(size_t pageLength, size_t fadeLength) {
        line.setPool(pool);
        line.configure(pageLength, fadeLength);
    }
    void run(size_t n, size_t block) {
        std::vector<double> in(block);
        for (size_t done = 0; done < n;) {
            const size_t m = std::min(block, n - done), t = out.size();
            for (size_t i = 0; i < m; ++i) in[i] = x(int64_t(t + i));
            out.resize(t + m);
            line.process(in.data(), out.data() + t, m);
            done += m;
        }
    }
    void expectDelayed(size_t from, size_t to, int64_t delay, int64_t kept = 0) const {
        for (size_t t = from; t < to; ++t) ASSERT_EQ(out[t], x(int64_t(t) - delay, kept)) << "sample " << t;
    }
    // n samples from t0 fading from the old delay to the new one, with c
    // worked out directly rather than by the line's oscillator.
    void expectFade(size_t t0, size_t n, int64_t from, int64_t to, int64_t kept = 0) const {
        for (size_t j = 0; j < n; ++j) {
            const int64_t t = int64_t(t0 + j);
            const double c = 0.5 * std::cos(3.14159265358979323846 * double(j) / double(n));
            ASSERT_NEAR(out[t0 + j], (0.5 + c) * x(t - from) + (0.5 - c) * x(t - to, kept), 1e-12) << "fade " << j;
        }
    }
};

}  // namespace

TEST(DelayLine, DelaysExactlyAcrossPagesChunksAndOddBlocks) {
    for (int64_t delay : {0, 1, 63, 64, 65, 256, 257, 1000})
        for (size_t block : {1, 7, 64, 333, 512}) {
            SCOPED_TRACE(testing::Message() << "delay " << delay << " block " << block);
            CLine l(64, 10);
            l.line.setDelay(delay);
            EXPECT_FALSE(l.line.fading()) << "freshly configured: no fade";
            EXPECT_EQ(l.line.ringLength(), size_t(64 + delay + CDSPModDelay::kMargin - 1) / 64);
            l.run(3000, block);
            l.expectDelayed(0, 3000, delay);
        }
}

TEST(DelayLine, LongRunsNeverOverwriteWhatIsStillToBeRead) {
    // Pages longer than a block make runs of a whole block. With 1000-sample
    // pages a delay of 1400 leaves the ring (2000) only 600 samples ahead of
    // the read, less than a 1024-sample run; short delays read inside the
    // run being written.
    for (int64_t delay : {0, 5, 300, 511, 512, 1300, 1400, 1488})
        for (size_t block : {333, 512, 777, 1024}) {
            SCOPED_TRACE(testing::Message() << "delay " << delay << " block " << block);
            CLine l(1000, 10);
            l.line.setDelay(delay);
            l.run(6000, block);
            l.expectDelayed(0, 6000, delay);
        }
}

// The old delay keeps reading the history it had when the ring grew or
// shrank, wherever the write position stood in its page.
TEST(DelayLine, CrossFadeIsARaisedCosineFromOldToNewDelay) {
    struct Case {
        size_t page, fade;
        int64_t from, to;
        size_t preroll, block;
    };
    for (const Case& k :
         {Case{64, 100, 50, 300, 1000, 37}, Case{64, 100, 300, 50, 1024, 64}, Case{512, 200, 100, 1000, 2050, 333},
          Case{512, 200, 100, 1000, 2500, 512}, Case{64, 1, 10, 20, 500, 7}}) {
        SCOPED_TRACE(testing::Message() << k.from << " -> " << k.to << " after " << k.preroll);
        CLine l(k.page, k.fade);
        l.line.setDelay(k.from);
        l.run(k.preroll, k.block);
        const int64_t kept = int64_t(k.preroll) - int64_t(l.line.ringLength() * k.page);
        l.line.setDelay(k.to);
        EXPECT_TRUE(l.line.fading());
        l.run(k.fade + 600, k.block);
        l.expectFade(k.preroll, k.fade, k.from, k.to, kept);
        l.expectDelayed(k.preroll + k.fade, l.out.size(), k.to, kept);
        EXPECT_FALSE(l.line.fading());
    }
}

TEST(DelayLine, ChangesDuringAFadeKeepOnlyTheLast) {
    CLine l(1024, 100);
    l.line.setDelay(6000);
    l.run(8096, 50);
    l.line.setDelay(1400);
    l.run(30, 30);
    l.line.setDelay(1350);
    l.line.setDelay(1300);
    EXPECT_EQ(l.line.pendingDelay(), 1300);
    l.run(400, 50);
    l.expectFade(8096, 100, 6000, 1400);
    // The second fade shrinks the ring from 7 pages to 2 while it reads
    // 1400 back from 4 samples into the write page: past the write offset.
    l.expectFade(8196, 100, 1400, 1300);
    l.expectDelayed(8296, 8526, 1300);
    EXPECT_EQ(l.line.ringLength(), 2u);

    CLine back(64, 100);
    back.line.setDelay(300);
    back.run(1000, 50);
    back.line.setDelay(100);
    back.line.setDelay(50);
    back.line.setDelay(100);
    EXPECT_EQ(back.line.pendingDelay(), CDSPModDelay::kNoDelay) << "back to the fade's target";
    back.run(300, 50);
    back.expectFade(1000, 100, 300, 100);
    back.expectDelayed(1100, 1300, 100);
}

TEST(DelayLine, ResetDropsHistoryAndTheNextDelayAppliesAtOnce) {
    CLine l(64, 100);
    l.line.setDelay(500);
    l.run(1000, 64);
    l.line.setDelay(200);
    l.line.setDelay(700);
    l.line.reset();
    EXPECT_FALSE(l.line.fading());
    EXPECT_EQ(l.line.delay(), 700) << "the waiting change is taken";
    EXPECT_EQ(l.line.allocatedPages(), 0u);
    l.line.setDelay(650);
    EXPECT_FALSE(l.line.fading());
    l.run(1000, 100);
    l.expectDelayed(1000, 2000, 650, 1000);
    l.line.setDelay(600);
    EXPECT_TRUE(l.line.fading()) << "only until the first block";
}

// The line keeps where its delay reads from block to block; each change of
// the delay or of the ring has to move that place, wherever the write and
// the read stand in their pages. Blocks of 37 make runs that straddle page
// ends.
TEST(DelayLine, ReadsStayExactWhenDelayOrRingChangeAtPageEnds) {
    for (size_t preroll : {128, 129, 191})
        for (auto [from, to] : {std::pair<int64_t, int64_t>{64, 128}, {127, 65}, {64, 1}, {1, 191}}) {
            SCOPED_TRACE(testing::Message() << from << " -> " << to << " after " << preroll);
            CLine l(64, 16);
            l.line.setDelay(from);
            l.run(preroll, 37);
            l.expectDelayed(0, preroll, from);
            const int64_t kept = int64_t(preroll) - int64_t(l.line.ringLength() * 64);
            l.line.setDelay(to);
            l.run(16 + 300, 37);
            l.expectFade(preroll, 16, from, to, kept);
            size_t t = preroll + 16;
            l.expectDelayed(t, l.out.size(), to, kept);
            // The ring grows and shrinks around the running delay.
            for (size_t capacity : {2000, 0}) {
                t = l.out.size();
                l.line.setMinCapacity(capacity);
                l.run(200, 37);
                l.expectDelayed(t, l.out.size(), to, kept);
            }
            // A reset starts the pages over under the same delay, and a
            // delay set right after one applies without a fade.
            for (int64_t delay : {to, from}) {
                l.line.reset();
                l.line.setDelay(delay);
                t = l.out.size();
                l.run(300, 37);
                l.expectDelayed(t, l.out.size(), delay, int64_t(t));
            }
        }
}

// Output left in the pages is what the copy gives: through blocks that
// straddle page ends or outrun the ring's margin (both copied), fades,
// changes at page ends, rings that grow and shrink, and resets.
TEST(DelayLine, OutputKeptInThePagesIsWhatTheCopyGives) {
    // With 2000-sample pages a delay of 2999 leaves 1001 samples of margin:
    // a block of 1024 would write over what it reads.
    for (size_t page : {64, 1000, 2000})
        for (size_t block : {7, 64, 333, 512, 1024}) {
            SCOPED_TRACE(testing::Message() << "page " << page << " block " << block);
            CPoolAllocator pool;
            CDSPModDelay copied, kept;
            for (CDSPModDelay* line : {&copied, &kept}) {
                line->setPool(pool);
                line->configure(page, 40);
            }
            std::vector<double> in(block), out(block), copy(block);
            size_t t = 0, keptBlocks = 0, copiedBlocks = 0;
            auto step = [&](const std::function<void(CDSPModDelay&)>& change) {
                for (CDSPModDelay* line : {&copied, &kept}) change(*line);
                for (size_t b = 0; b < 4000 / block + 2; ++b, t += block) {
                    for (size_t i = 0; i < block; ++i) in[i] = x(int64_t(t + i));
                    copied.process(in.data(), copy.data(), block);
                    const double* y = kept.processKept(in.data(), block);
                    if (y) {
                        ++keptBlocks;
                    } else {
                        ++copiedBlocks;
                        kept.process(in.data(), out.data(), block);
                        y = out.data();
                    }
                    ASSERT_EQ(kept.fading(), copied.fading());
                    for (size_t i = 0; i < block; ++i) ASSERT_EQ(y[i], copy[i]) << "sample " << t + i;
                }
            };
            for (long long delay : {0LL, 1LL, 700LL, 64LL, 2999LL, 2999LL + 512, 130LL, 5LL})
                step([&](CDSPModDelay& line) { line.setDelay(delay); });
            step([](CDSPModDelay& line) { line.setMinCapacity(9000); });
            step([](CDSPModDelay& line) { line.setMinCapacity(0); });
            step([](CDSPModDelay& line) { line.reset(); });
            EXPECT_GT(copiedBlocks, 0u);
            // Blocks longer than a page always straddle one.
            EXPECT_EQ(keptBlocks > 0, block <= page);
        }
}

TEST(DelayLine, PagesComeOnFirstUseAndSteadyStateAllocatesNothing) {
    // Delays that read a page other than the one written, with a ring that
    // keeps its length between the two.
    for (auto [page, delay] : {std::pair<size_t, int64_t>{512, 19800}, {8100, 16100}}) {
        SCOPED_TRACE(page);
        CLine l(page, 480);
        l.line.setDelay(delay);
        const size_t pages = l.line.ringLength();
        EXPECT_EQ(l.line.allocatedPages(), 0u);
        l.run(256, 256);
        EXPECT_EQ(l.line.allocatedPages(), 2u) << "the write page and the read page";
        l.run(pages * page, 512);
        EXPECT_EQ(l.line.allocatedPages(), pages);
        const size_t heap = l.pool.heapAllocations();
        for (int i = 0; i < 50; ++i) {
            l.line.setDelay(delay + (i % 2) * 50);
            l.run(1000, 512);
        }
        EXPECT_EQ(l.pool.heapAllocations(), heap);
    }
    CLine l(8100, 441);
    l.line.setDelay(529200);
    EXPECT_EQ(l.line.ringLength(), 66u) << "12 s at 44.1 kHz";
    l.line.setMinCapacity(600000);
    EXPECT_EQ(l.line.ringLength(), (8100u + 600000 + 255) / 8100);
}

namespace {

const CModDelayDef& sharedDelayDef() {
    return *dynamic_cast<CModDelayDef*>(CApplication::sharedObject()->findObject("audio.modMain.modLagwell.modDelay"));
}

// A module of group 1 whose slots read the document's own parameters.
struct CModule {
    CPoolAllocator pool;
    std::vector<std::unique_ptr<CAudioParamCopy>> params;
    CModDelayModule module;

    explicit CModule(double rate, const CAudioProcessDefBase& def = sharedDelayDef(), bool bind = true) {
        module.sampleRate = rate;
        module.group = 1;
        module.setPool(pool);
        EXPECT_EQ(module.init(def), nullptr);
        for (const char* name : {"time", "samples", "trans-time", "block-size", "time-mode"}) {
            auto* param = dynamic_cast<CAudioParamDef*>(sharedDelayDef().findChild(name));
            params.push_back(std::make_unique<CAudioParamCopy>(param->info()));
            if (bind) module.slots()[params.size() - 1].bind(params.back().get(), false, false);
        }
        module.update();
    }
    void set(CModDelayModule::ESlot slot, double plain) { params[slot]->setGroup(1, &plain, 1); }
    long long delayFor(double time, double samples, double mode) {
        set(CModDelayModule::kTime, time);
        set(CModDelayModule::kSamples, samples);
        set(CModDelayModule::kTimeMode, mode);
        module.update();
        return module.line().delay();
    }
    std::vector<double> run(std::vector<double> in) {
        std::vector<double> out(in.size());
        module.process(in.data(), out.data(), in.size());
        return out;
    }
};

}  // namespace

// Plain times are thousands of the unit: 1.0 is 1000 ms, 340.29 m or 1116.437 ft.
TEST(DelayModule, TimeUnitSamplesAndCeilingAtEveryRate) {
    struct Row {
        double rate, time, samples, mode;
        long long delay;
    };
    for (const Row& r : {Row{48000, 1.0, 0, 0, 48000}, Row{48000, 0.34029, 0, 1, 48000},
                         Row{48000, 1.116437, 0, 2, 48000}, Row{44100, 9.99999, 99999, 0, 529200},
                         Row{48000, 0, 2.5, 0, 3}, Row{48000, 0.001, 0, 1.5, 43}, Row{48000, 0.5, 0, 3, 24000}})
        EXPECT_EQ(CModule(r.rate).delayFor(r.time, r.samples, r.mode), r.delay) << r.time << " " << r.mode;
    for (auto [rate, shortDelay] :
         {std::pair<double, long long>{44100, 466}, {48000, 507}, {96000, 1011}, {192000, 2019}}) {
        SCOPED_TRACE(rate);
        CModule m(rate);
        EXPECT_EQ(m.delayFor(0.0105, 3, 0), shortDelay);
        EXPECT_EQ(m.delayFor(0.34029, 0, 1), (long long)rate);
        EXPECT_EQ(m.delayFor(9.99999, 0, 1), (long long)(12 * rate)) << "9999.99 m is 29 s";
        EXPECT_EQ(m.module.line().fadeLength(), size_t(rate / 100));
    }
}

TEST(DelayModule, FallbacksFadesAndRestarts) {
    CModule unbound(44100, sharedDelayDef(), false);
    EXPECT_EQ(unbound.module.line().pageLength(), 64u);
    EXPECT_EQ(unbound.module.line().fadeLength(), 441u);

    CModule m(48000);
    EXPECT_EQ(m.module.line().pageLength(), 8100u) << "the document's default";
    EXPECT_EQ(m.delayFor(0, 2, 0), 2) << "the first delay applies at once";
    EXPECT_EQ(m.run({1, 2, 3, 4}), (std::vector<double>{0, 0, 1, 2}));
    m.delayFor(0, 3, 0);
    EXPECT_TRUE(m.module.line().fading());

    // A new transition time starts the line over: no fade, no history.
    m.set(CModDelayModule::kTransTime, 0.05);
    m.module.update();
    EXPECT_FALSE(m.module.line().fading());
    EXPECT_EQ(m.module.line().fadeLength(), 2400u);
    EXPECT_EQ(m.run({5, 6, 7, 8}), (std::vector<double>{0, 0, 0, 5}));

    m.set(CModDelayModule::kBlockSize, 100.4);
    m.module.sampleRate = 96000;
    m.module.formatChanged = true;
    m.module.update();
    EXPECT_EQ(m.module.line().pageLength(), 100u);
    EXPECT_EQ(m.module.line().fadeLength(), 4800u);
}

TEST(DelayModule, LatencyAttributesOffsetTheDelay) {
    struct Row {
        const char* latency;
        bool seconds, positive;
        long long delay, own;
    };
    // 1 ms at 48 kHz is 48 samples.
    for (const Row& r :
         {Row{"100", false, false, 52, 100}, Row{"100", false, true, 148, 100}, Row{"0.002", true, true, 144, 96},
          Row{"-5", false, true, 48, 0}, Row{"10", false, false, 0, 10}}) {
        SCOPED_TRACE(r.latency);
        CModDelayDef def;
        def.setAttr("latency", r.latency);
        def.setBool("is-latency-seconds", r.seconds);
        def.setBool("is-latency-positive", r.positive);
        ASSERT_EQ(def.init(), nullptr);
        CModule m(48000, def);
        m.module.inputLatency = 7;
        EXPECT_EQ(m.delayFor(0.001, 0, 0), r.delay);
        EXPECT_EQ(m.module.latency(), 7 + r.own);
    }
}

TEST(DelayModule, CompInputContinuesTheFirstSampleAfterEachReset) {
    CModDelayDef def;
    def.setBool("is-comp-input", true);
    ASSERT_EQ(def.init(), nullptr);
    CModule m(48000, def);
    m.delayFor(0, 3, 0);
    EXPECT_EQ(m.run({0.75, 0.5, 0.25, 0.125}), (std::vector<double>{0.75, 0.75, 0.75, 0.75}));
    EXPECT_EQ(m.run({0.3, 0.2}), (std::vector<double>{0.5, 0.25}));
    m.module.reset();
    EXPECT_EQ(m.run({-0.5, 1.0, 1.0, 1.0}), (std::vector<double>{-0.5, -0.5, -0.5, -0.5}));
}

TEST(DelayModule, ABadFirstSampleIsNotContinuedIntoHistoryReadLater) {
    // The bad sample comes out once, at its delay; history that is read
    // only later, after the delay grows, reads silence instead of it.
    for (double bad : {NAN, INFINITY, -INFINITY}) {
        CModDelayDef def;
        def.setBool("is-comp-input", true);
        ASSERT_EQ(def.init(), nullptr);
        CModule m(48000, def);
        m.delayFor(0, 2, 0);
        std::vector<double> out = m.run({bad, 0.5, 0.25, 0.125});
        EXPECT_EQ(out[0], 0.0) << bad;
        EXPECT_EQ(out[1], 0.0) << bad;
        EXPECT_EQ(std::isnan(out[2]), std::isnan(bad)) << bad;
        m.run({1, 1, 1, 1});
        m.delayFor(0, 40, 0);  // fades towards history never written
        out = m.run(std::vector<double>(20, 1.0));
        EXPECT_EQ(out[0], 1.0) << bad;
        for (size_t i = 1; i < out.size(); ++i) {
            ASSERT_LT(out[i], 1.0) << bad << ", sample " << i;
            ASSERT_GT(out[i], 0.99) << bad << ", sample " << i;
        }
    }
}

TEST(DelayLine, HostSamplesGiveWhatDoublesGiveThroughRunsAndFades) {
    // x() is exact in single precision, so the two lines hear the same input.
    for (size_t block : {1, 7, 300, 512}) {
        SCOPED_TRACE(testing::Message() << "block " << block);
        CPoolAllocator pool;
        // `widened` takes host samples and gives doubles.
        CDSPModDelay doubles, floats, widened;
        for (CDSPModDelay* line : {&doubles, &floats, &widened}) {
            line->setPool(pool);
            line->configure(64, 300);
        }
        std::vector<double> in(block), out(block), wout(block);
        std::vector<float> fin(block), fout(block);
        size_t t = 0;
        for (long long delay : {0LL, 1000LL, 70LL, 2500LL, 2500LL, 5LL})
            for (size_t b = 0; b < 1400 / block + 1; ++b, t += block) {
                // Changes land while a fade is still running and mid-block.
                if (b == 1 || b == 3)
                    for (CDSPModDelay* line : {&doubles, &floats, &widened}) line->setDelay(delay + (long long)b);
                for (size_t i = 0; i < block; ++i) fin[i] = float(in[i] = x(int64_t(t + i)));
                doubles.process(in.data(), out.data(), block);
                floats.process(fin.data(), fout.data(), block);
                widened.process(fin.data(), wout.data(), block);
                ASSERT_EQ(floats.fading(), doubles.fading());
                ASSERT_EQ(widened.fading(), doubles.fading());
                for (size_t i = 0; i < block; ++i) {
                    ASSERT_EQ(fout[i], float(out[i])) << "sample " << t + i;
                    ASSERT_EQ(wout[i], out[i]) << "sample " << t + i;
                }
            }
    }
}

// ---------------------------------------------------------------- pages from a bank

namespace {

// A line whose pages come from a bank that the test serves as the keeper
// does, and whose pool only a ring beyond the prepared one could use.
struct CBankedLine {
    CPoolAllocator pool;
    CDelayPageBank bank;
    CDSPModDelay line;
    size_t pageLength;

    // `pages` are there before the line is configured, as the keeper
    // supplies them when the format is set.
    CBankedLine(size_t page, size_t fade, size_t longest, size_t pages, size_t reserve = 0) : pageLength(page) {
        serve(pages, reserve);
        line.setPool(pool);
        line.setPageBank(bank);
        line.prepareRing((page + longest + CDSPModDelay::kMargin - 1) / page);
        line.configure(page, fade);
    }
    // The keeper's round: the audio side may own `pages` pages, and
    // `reserve` spare ones beyond those in the ring.
    void serve(size_t pages, size_t reserve = 0) { bank.serve(pages, pageLength, reserve); }
    // One block, as the delay process runs it.
    void run(const double* in, double* out, size_t n) {
        line.process(in, out, n);
        bank.noteUse();
        bank.settle();
    }
};

// The same line on the pool, fed what the test gives it.
struct CPooledLine {
    CPoolAllocator pool;
    CDSPModDelay line;

    CPooledLine(size_t page, size_t fade) {
        line.setPool(pool);
        line.configure(page, fade);
    }
};

}  // namespace

// The keeper hands over pages the system has already backed with memory: a
// line that starts writing into them on the audio thread takes no page
// faults there (each would clear memory in the kernel while audio waits).
TEST(DelayPages, PagesComeFromTheKeeperAlreadyInMemory) {
    auto minorFaults = [] {
        rusage usage{};
        getrusage(RUSAGE_THREAD, &usage);
        return usage.ru_minflt;
    };
    const size_t length = 8100, count = 64;
    CDelayPageBank bank;
    bank.setPageLength(length);
    std::thread keeper([&] { bank.serve(count, length); });
    keeper.join();
    std::vector<double*> pages;
    const long before = minorFaults();
    for (size_t i = 0; i < count; ++i) {
        double* page = bank.take(length);
        ASSERT_NE(page, nullptr) << "page " << i;
        std::fill(page, page + length, 0.25);
        pages.push_back(page);
    }
    // Several per page without: 64 kB spans sixteen of the system's pages.
    EXPECT_LT(minorFaults() - before, long(count / 4));
    for (double* page : pages) bank.release(page);
    bank.settle();
}

// Pages from the pool or from a bank, and the graph's buffers, start on a
// cache line: runs of whole vectors through them never straddle two lines.
TEST(DelayPages, PagesAndBlocksStartOnACacheLine) {
    auto onALine = [](const void* p) { return reinterpret_cast<uintptr_t>(p) % 64 == 0; };
    CLine pooled(100, 10);
    CBankedLine banked(100, 10, 1000, 20);
    std::vector<double> in(64, 0.5);
    for (CDSPModDelay* line : {&pooled.line, &banked.line})
        for (int block = 0; block < 5; ++block) {
            // Without a delay the output lies where the block went in: at
            // the start of each page when blocks fill pages exactly.
            line->setDelay(0);
            const double* kept = line->processKept(in.data(), 50);
            ASSERT_NE(kept, nullptr);
            EXPECT_TRUE(onALine(kept)) << "block " << block;
            EXPECT_NE(line->processKept(in.data(), 50), nullptr);
        }
    for (size_t samples : {1u, 64u, 512u, 5000u}) {
        CAudioBufferRef buffer(CAudioBuffer::create(pooled.pool, samples));
        EXPECT_TRUE(onALine(buffer.data())) << samples << " samples";
        void* block = pooled.pool.allocate(samples * 8);
        EXPECT_TRUE(onALine(block)) << samples << " samples";
        pooled.pool.release(block);
    }
}

// With the bank kept supplied, a line gives what a line with pages from the
// pool gives, through growing and shrinking rings, fades and changes that
// wait for a fade; and it takes nothing from the pool.
TEST(DelayPages, ALineOnABankSoundsLikeALineOnThePool) {
    CLine reference(64, 50);
    CBankedLine banked(64, 50, 6000, (64 + 6000 + CDSPModDelay::kMargin - 1) / 64);
    std::mt19937 random(5);
    std::vector<double> in(333), out(333);
    size_t t = 0;
    for (int change = 0; change < 60; ++change) {
        const long long delay = (long long)(random() % 6000);
        reference.line.setDelay(delay);
        banked.line.setDelay(delay);
        for (int b = 0; b < 2; ++b, t += in.size()) {
            reference.run(in.size(), in.size());
            for (size_t i = 0; i < in.size(); ++i) in[i] = x(int64_t(t + i));
            banked.run(in.data(), out.data(), in.size());
            for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], reference.out[t + i]) << "sample " << t + i;
            ASSERT_EQ(banked.line.delay(), reference.line.delay());
            ASSERT_EQ(banked.line.pendingDelay(), reference.line.pendingDelay());
        }
    }
    EXPECT_EQ(banked.pool.heapAllocations(), 0u) << "neither pages nor rings from the pool";
}

// In real time a longer delay applies in the call that sets it, though the
// bank holds only a small reserve: its ring grows at once, the slots it
// gains read as silence, and only the write position takes pages, one page
// length at a time, which the keeper's rounds make good. The output is the
// pool's sample for sample. The pages a shorter delay gives up go back to
// the keeper, down to the ring and the reserve.
TEST(DelayPages, ALongerDelayAppliesAtOnceAndTheWritePositionTakesItsPages) {
    const size_t reserve = 4;
    const size_t small = (64 + CDSPModDelay::kMargin - 1) / 64;
    CBankedLine l(64, 32, 4000, small, reserve);
    CLine reference(64, 32);
    const size_t large = l.line.ringLengthFor(1000);
    std::vector<double> in(200), out(200);
    size_t t = 0;
    auto block = [&] {
        for (size_t i = 0; i < in.size(); ++i) in[i] = x(int64_t(t + i));
        reference.run(in.size(), in.size());
        l.run(in.data(), out.data(), in.size());
        for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], reference.out[t + i]) << "sample " << t + i;
        t += in.size();
        l.serve(small, reserve);
    };
    for (int i = 0; i < 3; ++i) block();
    const size_t written = l.line.allocatedPages();

    reference.line.setDelay(1000);
    l.line.setDelay(1000);
    EXPECT_EQ(l.line.delay(), 1000);
    EXPECT_EQ(l.line.pendingDelay(), CDSPModDelay::kNoDelay);
    EXPECT_TRUE(l.line.fading());
    EXPECT_EQ(l.line.ringLength(), large);
    block();
    // What the write page held a whole ring back moved to its new place, and
    // the write position took the pages of the slots it entered.
    EXPECT_LE(l.line.allocatedPages(), written + 1 + (200 + 63) / 64 + 1);
    for (int i = 0; i < 20; ++i) block();
    EXPECT_EQ(l.line.allocatedPages(), large) << "the whole ring written by now";
    EXPECT_EQ(l.bank.lostSamples(), 0u);
    // A ring as long as it can get takes no more: the reserve goes back.
    l.bank.serve(small, 64, reserve, large);
    l.run(in.data(), out.data(), 0);
    l.bank.serve(small, 64, reserve, large);
    EXPECT_EQ(l.bank.ownedPages(), large);

    // Back to no delay and on to one sample: the ring shrinks with the
    // change after the fade, and what it dropped returns to the keeper.
    for (long long d : {0LL, 1LL}) {
        reference.line.setDelay(d);
        l.line.setDelay(d);
        for (int i = 0; i < 2; ++i) block();
    }
    const size_t one = l.line.ringLengthFor(1);
    EXPECT_EQ(l.line.ringLength(), one);
    l.serve(one, reserve);
    block();
    EXPECT_EQ(l.bank.ownedPages(), one + reserve);
    EXPECT_EQ(l.pool.heapAllocations(), 0u);
}

// Output left in the pages is what the copy gives while a grown ring fills
// and its empty slots read as silence.
TEST(DelayPages, OutputKeptInThePagesIsWhatTheCopyGivesWhileARingFills) {
    const size_t pages = (64 + CDSPModDelay::kMargin - 1) / 64;
    CBankedLine copied(64, 32, 4000, pages, 6), kept(64, 32, 4000, pages, 6);
    std::vector<double> in(50), out(50), copy(50);
    size_t t = 0, keptBlocks = 0;
    auto block = [&] {
        for (size_t i = 0; i < in.size(); ++i) in[i] = x(int64_t(t + i));
        copied.run(in.data(), copy.data(), in.size());
        const double* y = kept.line.processKept(in.data(), in.size());
        if (y)
            ++keptBlocks;
        else
            kept.line.process(in.data(), out.data(), in.size());
        kept.bank.settle();
        if (!y) y = out.data();
        for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(y[i], copy[i]) << "sample " << t + i;
        t += in.size();
        for (CBankedLine* l : {&copied, &kept}) l->serve(pages, 6);
    };
    block();
    for (CBankedLine* l : {&copied, &kept}) l->line.setDelay(1000);
    for (int i = 0; i < 80; ++i) block();
    EXPECT_EQ(kept.line.delay(), 1000);
    EXPECT_GT(keptBlocks, 10u);
}

// Offline, the pages the spare ones lack come from the heap on the
// processing thread, and the keeper counts them as its own: it supplies
// none twice and takes back what a shorter delay gives up.
TEST(DelayPages, OfflineTheLinesTakeWhatTheyLackAndTheKeeperCountsIt) {
    const size_t small = (64 + CDSPModDelay::kMargin - 1) / 64;
    CBankedLine l(64, 32, 4000, small);
    CLine reference(64, 32);
    std::vector<double> in(200), out(200);
    size_t t = 0;
    auto block = [&] {
        for (size_t i = 0; i < in.size(); ++i) in[i] = x(int64_t(t + i));
        reference.run(in.size(), in.size());
        l.run(in.data(), out.data(), in.size());
        for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], reference.out[t + i]) << "sample " << t + i;
        t += in.size();
    };
    block();
    l.bank.setOffline(true);
    reference.line.setDelay(1000);
    l.line.setDelay(1000);
    for (int i = 0; i < 20; ++i) block();
    const size_t large = l.line.ringLengthFor(1000);
    EXPECT_EQ(l.line.allocatedPages(), large);
    EXPECT_EQ(l.bank.ownedPages(), large);
    EXPECT_EQ(l.bank.lostSamples(), 0u);
    EXPECT_FALSE(l.bank.waiting()) << "nothing asked of the keeper";
    l.serve(large);
    EXPECT_EQ(l.bank.ownedPages(), large) << "nothing supplied twice";

    // The ring shrinks with the change after the fade.
    for (long long d : {0LL, 1LL}) {
        reference.line.setDelay(d);
        l.line.setDelay(d);
        for (int i = 0; i < 2; ++i) block();
    }
    l.serve(small);
    block();
    l.serve(small);
    EXPECT_EQ(l.bank.ownedPages(), l.line.ringLengthFor(1));
}

// Should the keeper stall until a line's write position reaches an empty
// slot with no spare page left, the line goes on at its delay without
// allocating or waiting, and what comes in meanwhile is lost: it plays as
// silence when the delay comes round to it, exactly as if the input had
// been silent then, and the bank counts it. Once the keeper serves again
// the line writes from the next block on.
TEST(DelayPages, AStalledKeeperLosesOnlyWhatCameWithoutAPageAndTheLineRecovers) {
    // Enough for the pages a block enters.
    const size_t reserve = 5;
    const size_t first = (64 + 100 + CDSPModDelay::kMargin - 1) / 64;
    CBankedLine l(64, 32, 4000, first, reserve);
    CPooledLine reference(64, 32);
    for (CDSPModDelay* line : {&l.line, &reference.line}) line->setDelay(100);
    std::vector<double> in(200), silenced(200), out(200), expected(200);
    size_t t = 0, silencedSamples = 0;
    bool keeperRuns = true;
    auto block = [&] {
        // A sample at a time, to see which ones are lost.
        for (size_t i = 0; i < in.size(); ++i) {
            in[i] = x(int64_t(t + i));
            const size_t lostBefore = l.bank.lostSamples();
            l.line.process(&in[i], &out[i], 1);
            const bool lost = l.bank.lostSamples() != lostBefore;
            silenced[i] = lost ? 0.0 : in[i];
            silencedSamples += lost;
        }
        l.bank.noteUse();
        l.bank.settle();
        reference.line.process(silenced.data(), expected.data(), in.size());
        for (size_t i = 0; i < in.size(); ++i) ASSERT_EQ(out[i], expected[i]) << "sample " << t + i;
        t += in.size();
        if (keeperRuns) l.serve(first, reserve);
    };
    for (int i = 0; i < 10; ++i) block();
    ASSERT_EQ(l.bank.lostSamples(), 0u);

    keeperRuns = false;
    for (CDSPModDelay* line : {&l.line, &reference.line}) line->setDelay(2000);
    EXPECT_EQ(l.line.delay(), 2000) << "the delay does not wait for the keeper";
    for (int i = 0; i < 10; ++i) block();
    const size_t lost = l.bank.lostSamples();
    EXPECT_GT(lost, 0u);
    EXPECT_LT(lost, 2000u - 4 * 64u) << "the reserve lasted four pages";
    EXPECT_EQ(lost, silencedSamples);

    keeperRuns = true;
    l.serve(first, reserve);
    for (int i = 0; i < 40; ++i) block();
    EXPECT_EQ(l.bank.lostSamples(), lost) << "nothing lost once the keeper serves again";
    EXPECT_EQ(l.line.allocatedPages(), l.line.ringLength());
    // The hole came round as silence, and what came in after it is heard.
    EXPECT_EQ(out.back(), x(int64_t(t - 1) - 2000));
    EXPECT_EQ(l.pool.heapAllocations(), 0u);
}

// The keeper supplies a new page length as the user picks it, before the
// lines take it up: those pages wait on the audio side (pages of the old
// length, however many, back none of the new ones), so the lines have them
// in the block that reconfigures them, and pages of a length the keeper
// left again go back.
TEST(DelayPages, PagesOfANewLengthSuppliedAheadWaitForTheLines) {
    CBankedLine l(64, 32, 4000, 40, 4);
    std::vector<double> in(200), out(200);
    for (size_t i = 0; i < in.size(); ++i) in[i] = x(int64_t(i));
    l.line.setDelay(10);
    l.run(in.data(), out.data(), in.size());
    l.bank.serve(3, 256, 2);
    l.run(in.data(), out.data(), in.size());
    l.line.configure(256, 32);
    l.line.setDelay(0);
    l.line.process(in.data(), out.data(), in.size());
    EXPECT_EQ(out, in);
    EXPECT_EQ(l.bank.lostSamples(), 0u);

    // Supplied ahead, then the user went back before the lines took it up.
    l.bank.serve(3, 1024, 2);
    l.bank.settle();
    l.bank.serve(3, 256, 2);
    const size_t owned = l.bank.ownedPages();
    l.bank.settle();
    l.bank.serve(3, 256, 2);
    EXPECT_LT(l.bank.ownedPages(), owned) << "pages of 1024 samples went back";
}
