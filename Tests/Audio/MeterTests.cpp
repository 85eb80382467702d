// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "Audio/Modules/ModMeter.h"
#include "Audio/ParamDef.h"
#include "Audio/VizCollector.h"
#include "Core/Application.h"
#include "Core/MemoryStream.h"
#include "Support/HeapCounter.h"
#include "Support/Instance.h"
#include "Support/Printers.h"

using namespace zel;

namespace {

using M = CModMeterModule;

// By slot index.
const char* const kSlotNames[M::kSlotCount] = {"peak-time", "rms-time",  "gain",      "bias-time", "use-bias",
                                               "release",   "peak-gain", "rms-time2", "release2",  "use-time2"};

const CAudioParamInfo& sharedInfo(const char* meter, const char* param) {
    const CString path = CString("audio.modMain.") + meter + "." + param;
    return dynamic_cast<CAudioParamDef&>(*CApplication::sharedObject()->findObject(path)).info();
}

// One meter module on its own, its slots bound to the shared parameters of
// modMeterOut (so it starts from their defaults).
struct CMeterRig {
    CModMeterDef def;
    std::map<std::string, std::unique_ptr<CAudioParamCopy>> copies;
    CModMeterModule module;

    explicit CMeterRig(double rate, std::initializer_list<std::pair<const char*, const char*>> attrs = {}) {
        for (const auto& [k, v] : attrs) def.setAttr(k, v);
        module.sampleRate = rate;
        EXPECT_EQ(module.init(def), nullptr);
        for (size_t i = 0; i < M::kSlotCount; ++i) {
            auto& copy = copies[kSlotNames[i]];
            copy = std::make_unique<CAudioParamCopy>(sharedInfo("modMeterOut", kSlotNames[i]));
            module.slots()[i].bind(copy.get(), false, false);
        }
        module.reset();
        module.update();
        module.markSlotsSeen();
    }
    void set(const char* name, double v) {
        copies.at(name)->setGroup(0, &v, 1);
        module.update();
        module.markSlotsSeen();
    }
    // The frames that end while `x` (and `ref`) run through the module.
    std::vector<CAudioVizDataMeter> feed(const std::vector<double>& x, const std::vector<double>* ref = nullptr) {
        std::vector<CAudioVizDataMeter> frames;
        for (size_t done = 0; done < x.size();) {
            done += module.run(x.data() + done, ref ? ref->data() + done : nullptr, x.size() - done);
            if (module.frameReady()) frames.push_back(module.frame());
        }
        return frames;
    }
};

std::vector<double> dc(double v, size_t n) { return std::vector<double>(n, v); }

std::vector<double> sine(double amplitude, double freq, double rate, size_t n) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = amplitude * std::sin(2.0 * M_PI * freq * double(i) / rate);
    return x;
}

}  // namespace

TEST(MeterSetup, FrameLengthHistoryAndFpsFallback) {
    EXPECT_EQ(M::frameLengthFor(44100, 30), 1470u);
    EXPECT_EQ(M::frameLengthFor(48000, 60), 800u);
    EXPECT_EQ(M::frameLengthFor(1000, 60), 32u) << "17 made even is still below the minimum";
    EXPECT_EQ(M::frameLengthFor(44100, 60), 736u) << "735 is odd";

    CMeterRig plain(44100);
    EXPECT_EQ(plain.module.fps(), 30.0);
    EXPECT_EQ(plain.module.frameLength(), 1470u);
    EXPECT_EQ(plain.module.historyLength(), 30u) << "1 s of 30 frames";
    plain.set("peak-time", 10.0);
    EXPECT_EQ(plain.module.historyLength(), 300u);
    EXPECT_LE(plain.module.historyLength(), plain.module.historyCapacity());
    plain.set("peak-time", 0.001);
    EXPECT_EQ(plain.module.historyLength(), 1u) << "never below one frame";

    CMeterRig empty(44100, {{"fps", ""}}), junk(44100, {{"fps", "fast"}}), sixty(48000, {{"fps", "60"}});
    EXPECT_EQ(empty.module.fps(), 30.0);
    EXPECT_EQ(junk.module.fps(), 30.0);
    EXPECT_EQ(sixty.module.frameLength(), 800u);
    EXPECT_EQ(sixty.module.historyLength(), 60u);
}

TEST(MeterSetup, CoefficientsFollowTheFormulaAndTheSecondTimes) {
    // The factor 1.362 makes T the time a step takes to within 1 % (e^(−2π/1.362)).
    for (double t : {0.002, 0.1, 0.75, 3.0}) {
        const double k = M::smoothingCoeff(t, 44100);
        const double reached = 1.0 - std::pow(1.0 - k, std::round(t * 44100));
        EXPECT_NEAR(reached, 1.0 - std::exp(-2.0 * M_PI / 1.362), 2e-4) << t;
    }
    EXPECT_EQ(M::smoothingCoeff(0.0, 44100), 1.0);
    EXPECT_EQ(M::smoothingCoeff(0.00009, 44100), 1.0);

    CMeterRig rig(48000);
    EXPECT_DOUBLE_EQ(rig.module.releaseCoeff(), M::smoothingCoeff(0.5, 48000));
    rig.set("rms-time2", 0.02);
    rig.set("release2", 0.0);
    EXPECT_DOUBLE_EQ(rig.module.integrationCoeff(), M::smoothingCoeff(0.1, 48000)) << "second times unused yet";
    rig.set("use-time2", 1.0);
    EXPECT_DOUBLE_EQ(rig.module.integrationCoeff(), M::smoothingCoeff(0.02, 48000));
    EXPECT_EQ(rig.module.releaseCoeff(), 1.0);
}

TEST(MeterPlain, ZeroReleaseMakesTheFollowerTheIntegratedLevel) {
    CMeterRig rig(44100);
    rig.set("release", 0.0);
    ASSERT_EQ(rig.module.releaseCoeff(), 1.0);
    std::vector<double> x = sine(0.8, 440, 44100, 6000);
    for (size_t i = 3000; i < x.size(); ++i) x[i] *= std::exp(-double(i - 3000) / 300.0);  // falling level
    for (size_t i = 0; i < x.size(); ++i) {
        rig.module.run(&x[i], nullptr, 1);
        ASSERT_EQ(rig.module.released(), rig.module.integrated()) << "sample " << i;
    }
}

TEST(MeterPlain, LoudFrameIsHeldForTheHistoryThenDropsToTheLargestLeft) {
    // 32-sample frames, H = 6, levels follow the input at once.
    CMeterRig rig(960);
    rig.set("rms-time", 0.0);
    rig.set("release", 0.0);
    rig.set("peak-time", 0.2);
    ASSERT_EQ(rig.module.frameLength(), 32u);
    ASSERT_EQ(rig.module.historyLength(), 6u);
    std::vector<double> x = dc(0.1, 32 * 14);
    x[2 * 32 + 10] = 1.0;  // frame 2
    x[4 * 32 + 5] = 0.5;   // frame 4
    const auto frames = rig.feed(x);
    ASSERT_EQ(frames.size(), 14u);
    const double expected[14] = {0.1, 0.1, 1, 1, 1, 1, 1, 1, 0.5, 0.5, 0.1, 0.1, 0.1, 0.1};
    for (size_t j = 0; j < 14; ++j) {
        EXPECT_NEAR(frames[j].peak, expected[j], 1e-12) << "frame " << j;
        EXPECT_NEAR(frames[j].level, 0.1, 1e-12) << "frame " << j;
    }
}

// Closed forms: under a step of DC the integrated power rises as
// p (1 - (1 - k)^n), the level is its root and the peak holds the input's
// magnitude from the first frame on; settled, a sine reads its RMS and its
// amplitude.
TEST(MeterPlain, SteadySignalsReadTheirClosedForms) {
    const double rate = 44100, gain = 2.0, peakGain = 1.5;
    CMeterRig rig(rate);
    rig.set("gain", gain);
    rig.set("peak-gain", peakGain);
    const auto frames = rig.feed(dc(0.5, 1470 * 10));
    ASSERT_EQ(frames.size(), 10u);
    const double k = M::smoothingCoeff(0.1, rate);
    for (size_t j = 0; j < frames.size(); ++j) {
        const double power = 0.25 * (1.0 - std::pow(1.0 - k, double((j + 1) * 1470)));
        EXPECT_NEAR(frames[j].level, std::sqrt(power) * gain, 1e-9) << "frame " << j;
        EXPECT_NEAR(frames[j].peak, 0.5 * gain * peakGain, 1e-12) << "frame " << j;
    }

    CMeterRig settled(rate);
    const auto sineFrames = settled.feed(sine(0.5, 1000, rate, 1470 * 60));
    EXPECT_NEAR(sineFrames.back().level, 0.5 / std::sqrt(2.0), 0.005);
    EXPECT_NEAR(sineFrames.back().peak, 0.5, 0.003);
}

namespace {

// The plain and difference routines sample by sample as written down, with
// the frame logic of the module (history, hold), as the reference that the
// module's faster loops must match. A sample whose square is not a number
// leaves the integrated levels alone and counts as an over in the frame
// maximum.
struct CReferenceMeter {
    double kInt, kRel, gain = 1.0, peakGain = 1.0;
    size_t frameLength, historyLength;
    bool diff;
    double m = 0, mRef = 0, r = 0, f = 0, p = 0;
    std::vector<double> history;
    size_t pos = 0, count = 0, hold = 0, framePos = 0;
    size_t consumed = 0;  // samples stepped so far

    CReferenceMeter(const M& module, bool isDiff)
        : kInt(module.integrationCoeff()),
          kRel(module.releaseCoeff()),
          frameLength(module.frameLength()),
          historyLength(module.historyLength()),
          diff(isDiff),
          history(module.historyLength()) {}

    // One sample; true when it ended a frame, whose values go to `out`.
    bool step(double x, double y, CAudioVizDataMeter& out) {
        const bool measurable = std::isfinite(x * x);
        if (measurable) m += (x * x - m) * kInt;
        if (diff) {
            if (std::isfinite(y * y)) mRef += (y * y - mRef) * kInt;
        } else {
            r = m > r ? m : r + (m - r) * kRel;
            f = std::max({f, measurable ? x * x : M::kOverPower, r});
        }
        if (++framePos < frameLength) return false;
        framePos = 0;
        if (diff) {
            out.level = std::sqrt((m + 1e-15) / (mRef + 1e-15)) * gain;
            out.peak = out.level * peakGain;
            return true;
        }
        history[pos] = f;
        pos = (pos + 1) % historyLength;
        count = std::min(count + 1, historyLength);
        if (f >= p) {
            p = f;
            hold = historyLength - 1;
        } else if (hold == 0) {
            size_t bestAge = 0;
            double best = -1;
            for (size_t age = 0; age < count; ++age) {
                const double v = history[(pos + 2 * historyLength - 1 - age) % historyLength];
                if (v > best) {
                    best = v;
                    bestAge = age;
                }
            }
            p = best;
            hold = historyLength - 1 - bestAge;
        } else {
            --hold;
        }
        out.level = std::sqrt(r) * gain;
        out.peak = std::sqrt(std::max(f, p)) * gain * peakGain;
        f = r;
        return true;
    }
};

// Equal within 1e-12 of the larger magnitude (values deep in the denormal
// range compare as zero).
::testing::AssertionResult closeRelative(double got, double want) {
    const double scale = std::max({std::fabs(got), std::fabs(want), 1e-290});
    if (std::fabs(got - want) <= 1e-12 * scale) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << got << " vs " << want << " (" << (got - want) / scale << " relative)";
}

// Noise in bursts of changing loudness with silent gaps, steps and a click.
std::vector<double> programme(size_t n, unsigned seed) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = double(int(seed >> 9) % 2001 - 1000) / 1000.0;
        const size_t part = (i / 1999) % 6;
        const double level[6] = {0.8, 0.05, 0.0, 1.0, 0.3, 0.0};
        x[i] = part == 5 ? 0.25 : noise * level[part];
    }
    x[n / 3] = 1.5;
    return x;
}

}  // namespace

// The loops run compiled for any x86-64 processor and, where the processor
// has them, with AVX2 and FMA and with AVX-512: the tests of the loops run
// with each the processor has.
class MeterLoops : public ::testing::TestWithParam<M::ELoops> {
protected:
    void SetUp() override {
        if (!M::useLoops(GetParam())) GTEST_SKIP() << "the processor lacks these instructions";
    }
    void TearDown() override { M::useLoops(M::widestLoops()); }
};
std::string loopsName(const ::testing::TestParamInfo<M::ELoops>& info) {
    return info.param == M::kLoopsAvx512 ? "Avx512" : info.param == M::kLoopsAvx2 ? "Avx2" : "Anywhere";
}
INSTANTIATE_TEST_SUITE_P(Loops, MeterLoops, ::testing::Values(M::kLoopsAnywhere, M::kLoopsAvx2, M::kLoopsAvx512),
                         loopsName);

TEST_P(MeterLoops, PlainAndDifferenceMatchTheSampleBySampleRoutine) {
    // Coefficients from instant to slow, and runs of every length from one
    // sample to many blocks, so that every split of the loops is exercised.
    struct CTimes {
        double rms, release;
    };
    const CTimes times[] = {{0.0, 0.0}, {0.002, 0.75}, {0.1, 0.5}, {3.0, 0.0}, {0.0, 2.0}, {0.02, 5.0}};
    const size_t runs[] = {1, 2, 3, 5, 7, 64, 333, 512};
    const std::vector<double> x = programme(48000, 3), y = programme(48000, 11);
    for (bool diff : {false, true})
        for (const CTimes& t : times) {
            CMeterRig rig(48000, {{"is-diff", diff ? "true" : "false"}});
            rig.set("rms-time", t.rms);
            rig.set("release", t.release);
            rig.set("peak-time", 0.2);
            CReferenceMeter ref(rig.module, diff);
            size_t frames = 0, run = 0;
            for (size_t done = 0; done < x.size(); ++run) {
                const size_t n = std::min(runs[run % std::size(runs)], x.size() - done);
                const size_t used = rig.module.run(x.data() + done, y.data() + done, n);
                ASSERT_GE(used, 1u);
                CAudioVizDataMeter want;
                bool ended = false;
                for (size_t i = done; i < done + used; ++i) ended = ref.step(x[i], y[i], want);
                done += used;
                ASSERT_EQ(rig.module.frameReady(), ended) << "sample " << done;
                const auto where = ::testing::Message() << "diff " << diff << " rms " << t.rms << " release "
                                                        << t.release << " sample " << done;
                ASSERT_TRUE(closeRelative(rig.module.integrated(), ref.m)) << where;
                if (diff)
                    ASSERT_TRUE(closeRelative(rig.module.referenceLevel(), ref.mRef)) << where;
                else
                    ASSERT_TRUE(closeRelative(rig.module.released(), ref.r)) << where;
                if (!ended) continue;
                ++frames;
                ASSERT_TRUE(closeRelative(rig.module.frame().level, want.level)) << where;
                ASSERT_TRUE(closeRelative(rig.module.frame().peak, want.peak)) << where;
            }
            EXPECT_EQ(frames, 30u);
        }
}

TEST_P(MeterLoops, RunsOfEveryLengthAndTinySignalsMatchTheSampleBySampleRoutine) {
    // Long runs are cut into a first sample, two halves of whole steps and
    // a rest: every length from 1 to 130 and around a block's 512 puts each
    // cut everywhere. The quiet signal's squares and levels fall below the
    // smallest normal double, and the denormal one's samples do, where the
    // loops run without the engine's flushing; the loud one has clicks,
    // each louder than the one before, so that each frame's peak is its
    // last click, wherever it falls.
    std::vector<size_t> runs;
    for (size_t n = 1; n <= 130; ++n) runs.push_back(n);
    for (size_t n = 480; n <= 512; ++n) runs.push_back(n);
    std::vector<double> loud = programme(48000, 21), quiet = programme(48000, 22), denormal = programme(48000, 23);
    for (double& v : quiet) v *= 1e-155;
    for (double& v : denormal) v *= 1e-310;
    for (size_t i = 50; i < loud.size(); i += 97) loud[i] = 1.5 + double(i) * 1e-5;
    for (const std::vector<double>* x : {&loud, &quiet, &denormal})
        for (double release : {0.0, 0.003, 0.75}) {
            CMeterRig rig(48000);
            rig.set("rms-time", 0.001);
            rig.set("release", release);
            CReferenceMeter ref(rig.module, false);
            size_t run = 0;
            for (size_t done = 0; done < x->size(); ++run) {
                const size_t used =
                    rig.module.run(x->data() + done, nullptr, std::min(runs[run % runs.size()], x->size() - done));
                CAudioVizDataMeter want;
                bool ended = false;
                for (size_t i = done; i < done + used; ++i) ended = ref.step((*x)[i], 0.0, want);
                done += used;
                const auto where = ::testing::Message() << (x == &loud    ? "loud"
                                                            : x == &quiet ? "quiet"
                                                                          : "denormal")
                                                        << " release " << release << " run " << used << " at " << done;
                ASSERT_TRUE(closeRelative(rig.module.integrated(), ref.m)) << where;
                ASSERT_TRUE(closeRelative(rig.module.released(), ref.r)) << where;
                if (!ended) continue;
                // As powers, so that levels from the denormal range compare as zero.
                const CAudioVizDataMeter& got = rig.module.frame();
                ASSERT_TRUE(closeRelative(got.level * got.level, want.level * want.level)) << where;
                ASSERT_TRUE(closeRelative(got.peak * got.peak, want.peak * want.peak)) << where;
            }
        }
}

TEST_P(MeterLoops, SlowTimesStayWithTheSampleBySampleRoutineOverLongRuns) {
    // Seconds of steady noise, then seconds of silence, with the slowest
    // times: a coefficient rounded once and applied at every step would
    // drift from the routine by far more than 1e-12.
    for (bool diff : {false, true}) {
        CMeterRig rig(48000, {{"is-diff", diff ? "true" : "false"}});
        rig.set("rms-time", 5.0);
        rig.set("release", 5.0);
        CReferenceMeter ref(rig.module, diff);
        std::vector<double> x = programme(48000 * 12, 9);
        std::fill(x.begin() + 48000 * 6, x.end(), 0.0);
        const std::vector<double> y = programme(48000 * 12, 10);
        for (size_t done = 0; done < x.size();) {
            done += rig.module.run(x.data() + done, y.data() + done, std::min<size_t>(512, x.size() - done));
            CAudioVizDataMeter want;
            for (; ref.consumed < done; ++ref.consumed) ref.step(x[ref.consumed], y[ref.consumed], want);
            const auto where = ::testing::Message() << "diff " << diff << " sample " << done;
            ASSERT_TRUE(closeRelative(rig.module.integrated(), ref.m)) << where;
            if (diff)
                ASSERT_TRUE(closeRelative(rig.module.referenceLevel(), ref.mRef)) << where;
            else
                ASSERT_TRUE(closeRelative(rig.module.released(), ref.r)) << where;
        }
    }
}

TEST_P(MeterLoops, FastTimesFollowTheSampleBySampleRoutineDownThroughManyDecades) {
    // After a loud start, silence: with fast times the levels fall by many
    // decades within each run, so what is left of them over a run is far
    // below the rounding of 1 − (1 − k)^n, and must still be carried to its
    // last bits. Runs of 512 and 448 samples, and levels followed down to
    // the denormal range.
    std::vector<double> x = programme(48000, 51);
    std::fill(x.begin() + 4000, x.end(), 0.0);
    for (double rms : {0.0003, 0.001, 0.004})
        for (double release : {0.001, 0.01, 0.05}) {
            CMeterRig rig(48000);
            rig.set("rms-time", rms);
            rig.set("release", release);
            CReferenceMeter ref(rig.module, false);
            for (size_t done = 0, run = 0; done < x.size() && (done < 4000 || ref.r > 1e-280); ++run) {
                done +=
                    rig.module.run(x.data() + done, nullptr, std::min<size_t>(run % 2 ? 448 : 512, x.size() - done));
                CAudioVizDataMeter want;
                for (; ref.consumed < done; ++ref.consumed) ref.step(x[ref.consumed], 0.0, want);
                const auto where = ::testing::Message() << "rms " << rms << " release " << release << " at " << done;
                ASSERT_TRUE(closeRelative(rig.module.integrated(), ref.m)) << where;
                ASSERT_TRUE(closeRelative(rig.module.released(), ref.r)) << where;
            }
        }
}

TEST_P(MeterLoops, UnmeasurableSamplesArePassedOverAndReadAsAnOver) {
    // Stretches of 1 to 7 bad samples (and, for the difference meter, bad
    // references elsewhere) fall at every place of runs of every length,
    // on the first meter of a pair. The levels stay those of the routine
    // that passes over them, every frame is a number, and the second meter
    // of the pair ends exactly where it ends alone.
    std::vector<size_t> runs;
    for (size_t n = 1; n <= 70; ++n) runs.push_back(n);
    for (size_t n = 500; n <= 512; ++n) runs.push_back(n);
    const double kBad[] = {NAN, INFINITY, -INFINITY, 1e200};
    for (bool diff : {false, true})
        for (double bad : kBad) {
            std::vector<double> x = programme(48000, 31), y = programme(48000, 32);
            const std::vector<double> other = programme(48000, 33), otherRef = programme(48000, 34);
            for (size_t at = 211, n = 1; at + n < x.size(); at += 1499, n = n % 7 + 1) {
                std::fill(x.begin() + long(at), x.begin() + long(at + n), bad);
                y[at + 700] = -bad;
            }
            std::initializer_list<std::pair<const char*, const char*>> attrs = {{"is-diff", diff ? "true" : "false"}};
            CMeterRig hurt(48000, attrs), partner(48000, attrs), alone(48000, attrs);
            for (CMeterRig* rig : {&hurt, &partner, &alone}) rig->set("peak-time", 0.2);
            CReferenceMeter ref(hurt.module, diff);
            size_t run = 0, frames = 0;
            for (size_t done = 0; done < x.size(); ++run) {
                const size_t n = std::min(runs[run % runs.size()], x.size() - done);
                const size_t used = M::runPair(hurt.module, partner.module, x.data() + done, y.data() + done,
                                               other.data() + done, otherRef.data() + done, n);
                ASSERT_EQ(alone.module.run(other.data() + done, otherRef.data() + done, n), used);
                CAudioVizDataMeter want;
                bool ended = false, over = false;
                for (size_t i = done; i < done + used; ++i) {
                    ended = ref.step(x[i], y[i], want);
                    over = over || !std::isfinite(x[i] * x[i]);
                }
                done += used;
                const auto where = ::testing::Message()
                                   << "diff " << diff << " bad " << bad << " run " << used << " at " << done;
                ASSERT_TRUE(closeRelative(hurt.module.integrated(), ref.m)) << where;
                ASSERT_TRUE(closeRelative(hurt.module.referenceLevel(), ref.mRef)) << where;
                ASSERT_TRUE(closeRelative(hurt.module.released(), ref.r)) << where;
                ASSERT_EQ(partner.module.integrated(), alone.module.integrated()) << where;
                ASSERT_EQ(partner.module.released(), alone.module.released()) << where;
                if (!ended) continue;
                ++frames;
                const CAudioVizDataMeter& got = hurt.module.frame();
                ASSERT_TRUE(std::isfinite(got.level) && std::isfinite(got.peak)) << where;
                ASSERT_TRUE(closeRelative(got.level, want.level)) << where;
                ASSERT_TRUE(closeRelative(got.peak, want.peak)) << where;
                if (over && !diff) {
                    ASSERT_GE(got.peak, 2.0) << where;
                }
                ASSERT_EQ(partner.module.frame().level, alone.module.frame().level) << where;
                ASSERT_EQ(partner.module.frame().peak, alone.module.frame().peak) << where;
            }
            EXPECT_EQ(frames, 30u);
        }
}

TEST_P(MeterLoops, PairsOfDifferentTimesEndExactlyAsEachAlone) {
    // Two meters of a pair share vectors lane by lane, each lane with its
    // own meter's coefficients: with times far apart, a coefficient taken
    // from the wrong lane shows at once. Runs of many lengths, so that
    // every cut of a run is met.
    const size_t runs[] = {512, 333, 1, 100, 37, 64, 511, 250};
    const std::vector<double> x = programme(48000, 41), y = programme(48000, 42);
    const std::vector<double> xr = programme(48000, 43), yr = programme(48000, 44);
    for (bool diff : {false, true}) {
        std::initializer_list<std::pair<const char*, const char*>> attrs = {{"is-diff", diff ? "true" : "false"}};
        CMeterRig a(48000, attrs), b(48000, attrs), aloneA(48000, attrs), aloneB(48000, attrs);
        for (CMeterRig* rig : {&a, &aloneA}) {
            rig->set("rms-time", 0.002);
            rig->set("release", 0.75);
        }
        for (CMeterRig* rig : {&b, &aloneB}) {
            rig->set("rms-time", 0.3);
            rig->set("release", 0.004);
        }
        ASSERT_TRUE(M::pairable(a.module, b.module));
        size_t run = 0, frames = 0;
        for (size_t done = 0; done < x.size(); ++run) {
            const size_t n = std::min(runs[run % std::size(runs)], x.size() - done);
            const size_t used =
                M::runPair(a.module, b.module, x.data() + done, xr.data() + done, y.data() + done, yr.data() + done, n);
            ASSERT_EQ(aloneA.module.run(x.data() + done, xr.data() + done, n), used);
            ASSERT_EQ(aloneB.module.run(y.data() + done, yr.data() + done, n), used);
            done += used;
            const auto where = ::testing::Message() << "diff " << diff << " run " << used << " at " << done;
            for (auto [got, want] : {std::pair{&a, &aloneA}, std::pair{&b, &aloneB}}) {
                ASSERT_EQ(got->module.integrated(), want->module.integrated()) << where;
                ASSERT_EQ(got->module.referenceLevel(), want->module.referenceLevel()) << where;
                ASSERT_EQ(got->module.released(), want->module.released()) << where;
                ASSERT_EQ(got->module.frameReady(), want->module.frameReady()) << where;
                if (!got->module.frameReady()) continue;
                ++frames;
                ASSERT_EQ(got->module.frame().level, want->module.frame().level) << where;
                ASSERT_EQ(got->module.frame().peak, want->module.frame().peak) << where;
            }
        }
        EXPECT_EQ(frames, 2 * 30u);
    }
}

TEST_P(MeterLoops, MinimumTrackingPassesOverUnmeasurableSamples) {
    // The bias divides by a level that a bad sample would spoil for good.
    CMeterRig hurt(960, {{"is-compression", "true"}}), clean(960, {{"is-compression", "true"}});
    for (CMeterRig* rig : {&hurt, &clean}) rig->set("bias-time", 0.05);
    std::vector<double> x = sine(0.5, 50, 960, 32 * 40);
    const std::vector<double> y = x;
    for (size_t i = 100; i < 104; ++i) x[i] = i % 2 ? NAN : INFINITY;
    const auto bad = hurt.feed(x), good = clean.feed(y);
    ASSERT_EQ(bad.size(), good.size());
    for (size_t j = 0; j < bad.size(); ++j) {
        ASSERT_TRUE(std::isfinite(bad[j].level) && std::isfinite(bad[j].peak)) << "frame " << j;
        if (j >= 30) {
            EXPECT_NEAR(bad[j].level, good[j].level, 1e-3 * good[j].level) << "frame " << j;
        }
    }
}

TEST(MeterValues, ReadingsAreNumbersEvenWhereTheFormulasAreNot) {
    // The reciprocal of silence, and a ratio against a silent reference of
    // a signal far beyond any real level.
    CMeterRig inverted(48000, {{"is-inverted", "true"}});
    CMeterRig diff(48000, {{"is-diff", "true"}});
    const std::vector<double> silence = dc(0.0, 1600 * 2), huge = dc(1e150, 1600 * 2);
    for (const auto& f : inverted.feed(silence)) {
        EXPECT_TRUE(std::isfinite(f.level)) << f.level;
        EXPECT_TRUE(std::isfinite(f.peak)) << f.peak;
        EXPECT_GT(f.level, 1e300);
    }
    for (const auto& f : diff.feed(huge, &silence)) {
        EXPECT_TRUE(std::isfinite(f.level)) << f.level;
        EXPECT_TRUE(std::isfinite(f.peak)) << f.peak;
    }
}

TEST(MeterMinimum, ShortDipIsHeldThenTheLevelReturns) {
    CMeterRig rig(960, {{"is-compression", "true"}});
    ASSERT_EQ(rig.module.routine(), M::kMinimum);
    rig.set("use-bias", 0.0);
    rig.set("rms-time", 0.0);
    rig.set("release", 0.0);
    rig.set("peak-time", 0.2);
    std::vector<double> x = dc(0.5, 32 * 14);
    for (size_t i = 5; i < 20; ++i) x[3 * 32 + i] = 0.1;  // inside frame 3
    const auto frames = rig.feed(x);
    ASSERT_EQ(frames.size(), 14u);
    for (size_t j = 3; j < 9; ++j) EXPECT_NEAR(frames[j].peak, 0.1, 1e-12) << "frame " << j;
    EXPECT_NEAR(frames[9].peak, 0.5, 1e-12) << "frame 3 left the history";
    EXPECT_NEAR(frames[9].level, 0.5, 1e-12);
}

TEST(MeterDiff, RatioOfOutputToReferenceWithGainsAndFloor) {
    CMeterRig rig(44100, {{"is-diff", "true"}});
    ASSERT_EQ(rig.module.routine(), M::kDifference);
    rig.set("gain", 2.0);
    rig.set("peak-gain", 0.5);
    const std::vector<double> x = sine(0.3, 500, 44100, 1470 * 3);
    for (const auto& f : rig.feed(x, &x)) {
        EXPECT_EQ(f.level, 2.0) << "equal signals";
        EXPECT_EQ(f.peak, 1.0);
    }

    CMeterRig half(44100, {{"is-diff", "true"}});
    half.set("rms-time", 0.01);
    const std::vector<double> out = dc(0.8, 1470 * 10), ref = dc(0.4, 1470 * 10);
    EXPECT_NEAR(half.feed(out, &ref).back().level, 2.0, 1e-9);

    CMeterRig silent(44100, {{"is-diff", "true"}});
    const std::vector<double> zeros = dc(0.0, 1470);
    EXPECT_EQ(silent.feed(zeros, &zeros).back().level, 1.0) << "silence on both sides is no difference";
}

TEST(MeterValues, InvertedMetersReportReciprocals) {
    const std::vector<double> x = sine(0.25, 300, 48000, 1600 * 4), ref = dc(0.5, 1600 * 4);
    for (const char* diff : {"false", "true"}) {
        CMeterRig normal(48000, {{"is-diff", diff}}), inverted(48000, {{"is-diff", diff}, {"is-inverted", "true"}});
        normal.set("peak-gain", 1.25);
        inverted.set("peak-gain", 1.25);
        const auto a = normal.feed(x, &ref), b = inverted.feed(x, &ref);
        ASSERT_EQ(a.size(), b.size());
        for (size_t j = 0; j < a.size(); ++j) {
            EXPECT_DOUBLE_EQ(b[j].level, 1.0 / a[j].level) << diff << " frame " << j;
            EXPECT_DOUBLE_EQ(b[j].peak, 1.0 / a[j].peak) << diff << " frame " << j;
        }
    }
}

// ---------------------------------------------------------------- data

TEST(VizData, MeterStreamFormIsTwoDoublesLevelFirst) {
    CMemoryWriter out;
    ASSERT_EQ(CAudioVizDataMeter(0.25, 0.75).write(out), nullptr);
    ASSERT_EQ(out.bytes().size(), 16u);
    double first;
    std::memcpy(&first, out.bytes().data(), 8);
    EXPECT_EQ(first, 0.25);

    CMemoryReader in(out.bytes());
    CAudioVizDataMeter back;
    ASSERT_EQ(back.read(in), nullptr);
    EXPECT_EQ(back.level, 0.25);
    EXPECT_EQ(back.peak, 0.75);

    std::vector<uint8_t> cut = out.bytes();
    cut.resize(12);
    CMemoryReader short_(cut);
    EXPECT_NE(back.read(short_), nullptr);
}

TEST(VizData, OtherKindsRoundTripAndRefuseOversizedCounts) {
    CAudioVizDataInfo info, info2;
    for (double v : {44100.0, 8.0, -1.5}) EXPECT_TRUE(info.add(v));
    CAudioVizDataSpectrum spectrum, spectrum2;
    const double bands[3] = {0.1, 0.2, 0.3};
    spectrum.setBands(bands, 3);
    spectrum.highFrequency = 20000;
    CAudioVizDataRGB rgb, rgb2;
    const uint32_t colors[2] = {0xFF102030u, 0x00ABCDEFu};
    rgb.setColors(colors, 2);

    CMemoryWriter out;
    for (const CAudioVizData* d : std::initializer_list<const CAudioVizData*>{&info, &spectrum, &rgb})
        ASSERT_EQ(d->write(out), nullptr);
    CMemoryReader in(out.bytes());
    for (CAudioVizData* d : std::initializer_list<CAudioVizData*>{&info2, &spectrum2, &rgb2})
        ASSERT_EQ(d->read(in), nullptr);
    ASSERT_EQ(info2.count(), 3u);
    EXPECT_EQ(info2.value(2), -1.5);
    ASSERT_EQ(spectrum2.bandCount(), 3u);
    EXPECT_EQ(spectrum2.band(1), 0.2);
    EXPECT_EQ(spectrum2.highFrequency, 20000.0);
    ASSERT_EQ(rgb2.count(), 2u);
    EXPECT_EQ(rgb2.color(0), 0x102030u) << "no alpha";

    CMemoryWriter big;
    ASSERT_EQ(big.writeUInt32(CAudioVizDataInfo::kMaxValues + 1), nullptr);
    CMemoryReader bigIn(big.bytes());
    CErrorPtr err = info2.read(bigIn);
    ASSERT_NE(err, nullptr);
    EXPECT_EQ(err->text(), "Visualisation data holds 17 values, at most 16 are allowed.");
    EXPECT_EQ(info2.count(), 0u);
}

// ---------------------------------------------------------------- collector

namespace {

CAudioVizCollector& vizOf(CInstance& inst) {
    return *dynamic_cast<CAudioVizCollector*>(inst.root.findObject("plugin.viz-collector"));
}

// The engine's side as a meter process sees it: slots bound to copies of
// the definition's own parameters, shared by every module.
class CTestContext final : public CAudioGraphContext {
public:
    CTestContext(CAudioVizCollector* viz, double rate, size_t maxBlock) : m_viz(viz) {
        m_format.sampleRate = rate;
        m_format.maxBlock = maxBlock;
    }
    CPoolAllocator& pool() override { return m_pool; }
    const CAudioStreamFormat& format() const override { return m_format; }
    void bindSlots(const CAudioProcessDefBase& def, std::vector<CAudioParamSlot>& slots) override {
        for (const auto& child : def.children()) {
            auto* alloc = dynamic_cast<const CAudioParamAllocDef*>(child.get());
            if (!alloc) continue;
            auto& copy = m_copies[alloc->paramName().utf8()];
            if (!copy)
                copy = std::make_unique<CAudioParamCopy>(
                    dynamic_cast<const CAudioParamDef&>(*def.findChild(alloc->paramName())).info());
            slots[size_t(alloc->index())].bind(copy.get(), false, false);
        }
    }
    const CAudioParamCopy* findParam(const CObject&, const CString&) override { return nullptr; }
    CAudioVizCollector* vizCollector() override { return m_viz; }

    void set(const char* name, double v) { m_copies.at(name)->setGroup(0, &v, 1); }
    CAudioChannel channel(int number, int group, const std::vector<double>& x) {
        CAudioChannel c;
        c.buffer = newBuffer();
        std::copy(x.begin(), x.end(), c.buffer.data());
        c.channel = number;
        c.group = group;
        return c;
    }

private:
    CAudioVizCollector* m_viz;
    CPoolAllocator m_pool;
    CAudioStreamFormat m_format;
    std::map<std::string, std::unique_ptr<CAudioParamCopy>> m_copies;
};

const CModMeterDef& sharedMeter(const char* name) {
    const CString path = CString("audio.modMain.") + name;
    return dynamic_cast<const CModMeterDef&>(*CApplication::sharedObject()->findObject(path));
}

}  // namespace

TEST(VizCollector, EveryMeterGetsAnEnableParameterAndAStream) {
    CInstance inst;
    CAudioVizCollector& viz = vizOf(inst);
    for (const char* meter : {"modMeterOut", "modMeterIODiff"}) {
        const CString path = CString("plugin.modMain.") + meter;
        CAudioParam* enable = inst.collector->find(path + "-enable");
        ASSERT_NE(enable, nullptr) << meter;
        EXPECT_EQ(enable, inst.root.findObject(path + "-enable"));
        EXPECT_EQ(enable->def().fullName(), "audio.param-enable-viz");
        EXPECT_EQ(enable->storage().read(0, 0), 0.0);
        EXPECT_EQ(viz.enableParam(path), enable);
        ASSERT_NE(viz.find(path), nullptr);
        EXPECT_EQ(viz.find(path)->path(), path);
    }
    const std::vector<CString> paths = {"plugin.modMain.modMeterIODiff", "plugin.modMain.modMeterOut"};
    EXPECT_EQ(viz.producerPaths(), paths);
    EXPECT_EQ(viz.registerProducer(sharedMeter("modMeterOut")), viz.find("plugin.modMain.modMeterOut"));

    viz.setActive(true);
    EXPECT_EQ(inst.value("modMeterOut-enable"), 1.0);
    EXPECT_EQ(inst.value("modMeterIODiff-enable"), 1.0);
    viz.setActive(false);
    EXPECT_EQ(inst.value("modMeterOut-enable"), 0.0);
}

// The consumer reads while the producer publishes a fixed run of frames:
// however the threads share the cores, every read is a whole frame and the
// last one published is the one left.
TEST(VizCollector, ConsumerSeesWholeFramesWhileTheProducerWrites) {
    constexpr uint64_t kFrames = 200000;
    CAudioVizMeterStream stream("test");
    CAudioVizMeterStream::CFrame frame;
    EXPECT_FALSE(stream.read(3, frame)) << "nothing published yet";
    std::atomic<bool> reading{false}, done{false};
    std::thread producer([&] {
        while (!reading.load()) std::this_thread::yield();
        for (uint64_t i = 1; i <= kFrames; ++i)
            stream.publish(3, int(i % 8), CAudioVizDataMeter(double(i), 2.0 * double(i)));
        done = true;
    });
    uint64_t last = 0, reads = 0, torn = 0;
    reading = true;
    while (!done.load()) {
        if (!stream.read(3, frame)) continue;
        ++reads;
        const uint64_t i = uint64_t(frame.data.level);
        if (frame.data.peak != 2.0 * frame.data.level || frame.group != int(i % 8) || frame.index != i ||
            frame.index < last)
            ++torn;
        last = frame.index;
    }
    producer.join();
    EXPECT_EQ(torn, 0u) << "of " << reads << " reads";
    ASSERT_TRUE(stream.read(3, frame));
    EXPECT_EQ(frame.index, kFrames);
    EXPECT_EQ(frame.data.level, double(kFrames));
    EXPECT_FALSE(stream.read(4, frame));
    stream.publish(99, 0, CAudioVizDataMeter(1, 1));  // beyond the channels: ignored
    EXPECT_FALSE(stream.read(99, frame));
}

TEST(MeterProcess, PassesInputOnAndPublishesEveryFrame) {
    CInstance inst;
    CAudioVizCollector& viz = vizOf(inst);
    CTestContext ctx(&viz, 960, 512);  // 32-sample frames: 16 per block
    CModMeter out, diff;
    ASSERT_EQ(out.init(sharedMeter("modMeterOut"), ctx), nullptr);
    ASSERT_EQ(diff.init(sharedMeter("modMeterIODiff"), ctx), nullptr);
    const std::vector<double> x = dc(0.5, 512);
    out.inputs[0] = {ctx.channel(0, 0, x), ctx.channel(3, 1, x)};
    diff.inputs[0] = {ctx.channel(3, 1, x)};
    diff.inputs[1] = {ctx.channel(3, 1, x)};
    for (CModMeter* p : {&out, &diff}) {
        p->update();
        p->process(512);
    }
    ASSERT_EQ(out.output.size(), 2u);
    EXPECT_EQ(out.output[1].buffer.get(), out.inputs[0][1].buffer.get()) << "the meter hands its input on";
    EXPECT_EQ(out.output[1].channel, 3);

    CAudioVizMeterStream::CFrame frame;
    ASSERT_TRUE(viz.find("plugin.modMain.modMeterOut")->read(3, frame));
    EXPECT_EQ(frame.index, 16u);
    EXPECT_EQ(frame.group, 1);
    EXPECT_DOUBLE_EQ(frame.data.peak, 0.5);
    EXPECT_GT(frame.data.level, 0.0);
    EXPECT_LT(frame.data.level, 0.5);
    EXPECT_FALSE(viz.find("plugin.modMain.modMeterOut")->read(1, frame));
    ASSERT_TRUE(viz.find("plugin.modMain.modMeterIODiff")->read(3, frame));
    EXPECT_EQ(frame.data.level, 1.0);
}

TEST(MeterProcess, SteadyStateAllocatesNothing) {
    CInstance inst;
    CTestContext ctx(&vizOf(inst), 44100, 512);
    CModMeter meter;
    ASSERT_EQ(meter.init(sharedMeter("modMeterIODiff"), ctx), nullptr);
    const std::vector<double> x = sine(0.5, 440, 44100, 512);
    for (int c = 0; c < 8; ++c) {
        meter.inputs[0].push_back(ctx.channel(c, c / 2, x));
        meter.inputs[1].push_back(ctx.channel(c, c / 2, x));
    }
    meter.update();
    meter.process(512);  // builds the modules
    const size_t poolBefore = ctx.pool().heapAllocations();

    size_t allocations = 0;
    {
        CHeapCounter heap;
        for (int block = 0; block < 200; ++block) {
            if (block == 100) {
                ctx.set("peak-time", 5.0);
                ctx.set("rms-time", 0.3);
            }
            meter.update();
            meter.process(512);
        }
        allocations = heap.count();
    }
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(ctx.pool().heapAllocations(), poolBefore);
}

TEST_P(MeterLoops, ChannelsRunSideBySideExactlyAsEachAlone) {
    // Three channels: the first two share a pass, the third runs alone; the
    // reference of the second is missing. Each must end exactly where a
    // process of its own channel ends, block after block of odd lengths.
    CTestContext ctx(nullptr, 48000, 512);
    for (const char* name : {"modMeterOut", "modMeterIODiff"}) {
        CModMeter all, alone[3];
        ASSERT_EQ(all.init(sharedMeter(name), ctx), nullptr);
        for (CModMeter& p : alone) ASSERT_EQ(p.init(sharedMeter(name), ctx), nullptr);
        const std::vector<double> signal[3] = {programme(48000, 5), programme(48000, 6), programme(48000, 7)};
        const std::vector<double> reference = programme(48000, 8);
        size_t at = 0, block = 0;
        for (size_t n : {512u, 100u, 37u, 512u, 1u, 255u, 512u, 512u, 3u, 512u}) {
            if (++block == 3) ctx.set("rms-time", 0.003);  // a change of coefficients on the way
            auto slice = [&](const std::vector<double>& x) {
                return std::vector<double>(x.begin() + long(at), x.begin() + long(at + n));
            };
            all.inputs[0].clear();
            all.inputs[1].clear();
            for (int c = 0; c < 3; ++c) {
                CModMeter& one = alone[c];
                one.inputs[0] = {ctx.channel(c, 0, slice(signal[c]))};
                one.inputs[1].clear();
                if (c != 1) one.inputs[1] = {ctx.channel(c, 0, slice(reference))};
                all.inputs[0].push_back(one.inputs[0][0]);
                if (c != 1) all.inputs[1].push_back(one.inputs[1][0]);
                one.update();
                one.process(n);
            }
            all.update();
            all.process(n);
            at += n;
            ASSERT_EQ(all.output.size(), 3u);
            for (size_t c = 0; c < 3; ++c) {
                const auto& got = static_cast<const CModMeterModule&>(all.module(c));
                const auto& want = static_cast<const CModMeterModule&>(alone[c].module(0));
                EXPECT_EQ(all.output[c].buffer.get(), all.inputs[0][c].buffer.get());
                EXPECT_EQ(got.integrated(), want.integrated()) << name << " channel " << c << " at " << at;
                EXPECT_EQ(got.referenceLevel(), want.referenceLevel()) << name << " channel " << c << " at " << at;
                EXPECT_EQ(got.released(), want.released()) << name << " channel " << c << " at " << at;
                EXPECT_EQ(got.frame().level, want.frame().level) << name << " channel " << c << " at " << at;
                EXPECT_EQ(got.frame().peak, want.frame().peak) << name << " channel " << c << " at " << at;
            }
        }
    }
}

TEST_P(MeterLoops, ReferencesOfHostSamplesMeasureAsTheirDoubles) {
    // A difference meter reads references that are host samples nobody has
    // converted where they lie: a pair of them, one alone, and a pair whose
    // other reference is already converted (both are read as doubles then),
    // with an unmeasurable stretch among them. Every level and frame is what
    // the same samples give as doubles.
    CTestContext ctx(nullptr, 48000, 512);
    CModMeter host, doubles;
    ASSERT_EQ(host.init(sharedMeter("modMeterIODiff"), ctx), nullptr);
    ASSERT_EQ(doubles.init(sharedMeter("modMeterIODiff"), ctx), nullptr);
    std::vector<float> reference[3];
    for (unsigned c = 0; c < 3; ++c) {
        const std::vector<double> x = programme(48000, 30 + c);
        reference[c].assign(x.begin(), x.end());
    }
    for (size_t i = 5000; i < 5005; ++i) reference[1][i] = NAN;
    const std::vector<double> signal = programme(48000, 40);
    size_t at = 0, block = 0;
    for (size_t n : {512u, 100u, 37u, 512u, 1u, 255u, 512u, 512u, 3u, 512u}) {
        for (size_t repeat = 0; repeat < 4; ++repeat, ++block, at += n) {
            const std::vector<double> x(signal.begin() + long(at), signal.begin() + long(at + n));
            for (CModMeter* p : {&host, &doubles}) {
                p->inputs[0].clear();
                p->inputs[1].clear();
            }
            for (int c = 0; c < 3; ++c) {
                const float* r = reference[c].data() + at;
                host.inputs[0].push_back(ctx.channel(c, 0, x));
                doubles.inputs[0].push_back(ctx.channel(c, 0, x));
                CAudioChannel deferred = ctx.channel(c, 0, std::vector<double>(n, -1.0));
                const std::vector<double> converted(r, r + n);
                // Every third block the second reference was converted already.
                if (c == 1 && block % 3 == 2)
                    deferred = ctx.channel(c, 0, converted);
                else
                    deferred.buffer.get()->defer(r, n);
                host.inputs[1].push_back(deferred);
                doubles.inputs[1].push_back(ctx.channel(c, 0, converted));
            }
            for (CModMeter* p : {&host, &doubles}) {
                p->update();
                p->process(n);
            }
            for (size_t c = 0; c < 3; ++c) {
                const auto& got = static_cast<const CModMeterModule&>(host.module(c));
                const auto& want = static_cast<const CModMeterModule&>(doubles.module(c));
                ASSERT_EQ(got.integrated(), want.integrated()) << "channel " << c << " at " << at;
                ASSERT_EQ(got.referenceLevel(), want.referenceLevel()) << "channel " << c << " at " << at;
                ASSERT_EQ(got.frame().level, want.frame().level) << "channel " << c << " at " << at;
            }
        }
    }
    EXPECT_GT(static_cast<const CModMeterModule&>(host.module(1)).referenceLevel(), 0.0);
}
