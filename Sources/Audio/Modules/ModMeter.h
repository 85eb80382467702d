// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <vector>

#include "Audio/Engine/AudioProcess.h"
#include "Audio/VizData.h"

namespace zel {

class CAudioVizMeterStream;

// The level meter of one channel. Levels are kept as power (squared
// amplitude) and reported once per visual frame as linear amplitudes.
//
// Routines, chosen by the definition:
// - plain: integrated level m, release follower r (instant rise), frame
//   maximum f of x² and r, and a peak p held for the peak time;
// - minimum tracking (`is-compression`): the mirror image, r falls at once
//   and rises with the release, f is the frame minimum of r (x² itself
//   touches zero at every zero crossing), p holds the lowest frame; with
//   `use-bias` the squared input is first divided by its own level smoothed
//   with the bias time, so the meter shows dips relative to the running
//   loudness;
// - difference (`is-diff`): m and m_ref integrate the input and the
//   reference with the same coefficient; the frame reports their ratio. A
//   missing reference reads as silence.
// All levels start from silence after a reset.
//
// A sample that cannot be measured (not a number, infinite, or too large
// to square) leaves the integrated levels as they are, while the follower
// moves on towards them, and in the plain routine reads as an over in the
// frame's peak. The loops do not look at single samples: a run whose
// levels come out as anything but numbers is measured again sample by
// sample.
class CModMeterModule final : public CAudioModule {
public:
    enum ESlot : size_t {
        kPeakTime = 0,
        kRmsTime = 1,
        kGain = 2,
        kBiasTime = 3,
        kUseBias = 4,
        kRelease = 5,
        kPeakGain = 6,
        kRmsTime2 = 7,
        kRelease2 = 8,
        kUseTime2 = 9,
        kSlotCount = 10
    };
    enum ERoutine { kPlain, kMinimum, kDifference };

    static constexpr double kDefaultFps = 30.0;
    static constexpr size_t kMinFrameLength = 32;
    // The longest peak hold; the history is sized for it once, at init.
    static constexpr double kMaxPeakTime = 10.0;
    // Times below this smooth nothing (k = 1).
    static constexpr double kMinTime = 0.0001;
    // Keeps the difference ratio finite for silent signals.
    static constexpr double kDiffFloor = 1e-15;
    // The power an unmeasurable sample shows in the peak: twice full
    // scale, where the editor's scale ends.
    static constexpr double kOverPower = 4.0;

    CModMeterModule();

    // Reads is-diff, is-compression, is-inverted, then fps, and sizes the
    // peak history for the longest peak time.
    CErrorPtr init(const CAudioProcessDefBase& def) override;
    void reset() override;
    void update() override;

    // The meter operations of the process. run() takes up to n samples of
    // `in` (and of `ref`, the reference of a difference meter; null reads
    // as silence), at most kMaxRun, and stops right after a frame ends,
    // returning how many it consumed; frameReady() tells whether the last
    // run ended a frame, and frame() holds that frame's values until the
    // next one ends.
    size_t run(const double* in, const double* ref, size_t n);
    // The same with a reference of host samples (null reads as silence).
    size_t runHost(const double* in, const float* ref, size_t n);
    bool frameReady() const { return m_frameReady; }
    const CAudioVizDataMeter& frame() const { return m_frame; }

    // k = 1 − (y − sqrt(y² − 1)), y = 2 − cos(2π / (rate × T × 1.362)).
    static double smoothingCoeff(double seconds, double sampleRate);
    // round(rate / fps), made even, at least kMinFrameLength.
    static size_t frameLengthFor(double sampleRate, double fps);

    ERoutine routine() const { return m_routine; }
    double fps() const { return m_fps; }
    size_t frameLength() const { return m_frameLength; }
    size_t historyLength() const { return m_historyLength; }
    size_t historyCapacity() const { return m_history.size(); }
    double integrationCoeff() const { return m_kInt; }
    double releaseCoeff() const { return m_kRel; }
    double biasCoeff() const { return m_kBias; }
    // Running power levels: integrated, reference, release follower, held.
    double integrated() const { return m_m; }
    double referenceLevel() const { return m_mRef; }
    double released() const { return m_r; }
    double held() const { return m_p; }

    // Runs two meters side by side, one per vector lane, as run() runs each
    // (same results); they must be pairable. Returns how many samples both
    // consumed.
    static size_t runPair(CModMeterModule& a, CModMeterModule& b, const double* inA, const double* refA,
                          const double* inB, const double* refB, size_t n);
    static size_t runPairHost(CModMeterModule& a, CModMeterModule& b, const double* inA, const float* refA,
                              const double* inB, const float* refB, size_t n);
    // Whether two meters run the same routine in step (same frame position
    // and length), as meters of one process do.
    static bool pairable(const CModMeterModule& a, const CModMeterModule& b) {
        return a.m_routine == b.m_routine && a.m_routine != kMinimum && a.m_frameLength == b.m_frameLength &&
               a.m_framePos == b.m_framePos;
    }
    // The loops come built for any x86-64 processor, for AVX2 with FMA and
    // for AVX-512; the widest the processor has run unless tests or
    // benchmarks pick others. False, and nothing changes, when the
    // processor lacks them.
    enum ELoops { kLoopsAnywhere, kLoopsAvx2, kLoopsAvx512 };
    static bool useLoops(ELoops loops);
    static ELoops widestLoops();

    // The loops run the recurrences this many samples per step, over runs
    // of at most kMaxRun samples.
    static constexpr size_t kStep = 4;
    // The difference routine's step: it keeps no follower, so it takes
    // longer steps.
    static constexpr size_t kSpan = 16;
    static constexpr size_t kMaxRun = 512;
    static constexpr size_t kMaxSegment = kMaxRun / 8;
    // What the loops need of the coefficients.
    struct CCoeffs {
        double kInt = 1.0, keep = 0.0;
        // What is left of the level after j samples, (1 − k_int)^j for
        // j = 0 … 2 kStep, as scale − loss (see recompute()).
        double scale[2 * kStep + 1] = {1.0}, loss[2 * kStep + 1] = {};
        // The same for the follower, keep^j, and the pull of each sample's
        // level on the follower kStep samples on.
        double holdScale[2 * kStep + 1] = {1.0}, holdLoss[2 * kStep + 1] = {};
        double pull[kStep] = {};
        // Whether any scale differs from 1 (fast times only).
        bool scaled = false;
        // The difference routine's step of kSpan samples: what is left of
        // a level over the step, rounded, and the weight of each sample's x²
        // in the level at the step's end; what is left over j steps, as
        // scale − loss.
        double spanPower = 1.0;
        double spanWeight[kSpan] = {};
        double spansScale[kMaxRun / kSpan + 1] = {1.0}, spansLoss[kMaxRun / kSpan + 1] = {};
        // The widest loops cut a run into eight segments of up to
        // kMaxSegment samples: what is left of the level and of the follower
        // over j samples, and the weight k_int (1 − k_int)^j of a square j
        // samples before a segment's end.
        double segmentScale[kMaxSegment + 1] = {1.0}, segmentLoss[kMaxSegment + 1] = {};
        double segmentHoldScale[kMaxSegment + 1] = {1.0}, segmentHoldLoss[kMaxSegment + 1] = {};
        double segmentWeight[kMaxSegment] = {};
    };

private:
    // The running levels that a run carries on.
    struct CLevels {
        double m, mRef, r, f, bias;
    };
    CLevels levels() const { return {m_m, m_mRef, m_r, m_f, m_bias}; }
    // Inline, as is advance(): both run after every run of every meter.
    bool levelsAreNumbers() const {
        // x − x is 0 for every number and NaN for the rest. The frame's
        // extreme needs no look: it moves only with a square that also
        // spoils m.
        return (m_m - m_m) + (m_mRef - m_mRef) + (m_r - m_r) + (m_bias - m_bias) == 0.0;
    }
    // Runs n samples again from `from`, one at a time, with those that
    // cannot be measured left out of the levels.
    void remeasure(const CLevels& from, const double* in, const double* ref, size_t n);
    void remeasure(const CLevels& from, const double* in, const float* ref, size_t n);
    template <class Ref>
    size_t runWith(const double* in, const Ref* ref, size_t n);
    template <class Ref>
    static size_t runPairWith(CModMeterModule& a, CModMeterModule& b, const double* inA, const Ref* refA,
                              const double* inB, const Ref* refB, size_t n);
    void integrateMinimum(const double* in, size_t n);
    // Counts `n` samples into the frame; ends it when it is full.
    void advance(size_t n) {
        m_framePos += n;
        m_frameReady = m_framePos == m_frameLength;
        if (m_frameReady) endFrame();
    }
    double read(ESlot slot, double fallback) const;
    void recompute();
    void clearHistory();
    void endFrame();
    // The extreme of the history (maximum, or minimum when tracking
    // minima); the hold lasts as long as that frame stays in the history.
    void holdExtreme(bool minimum);
    void setFrame(double level, double peak);

    ERoutine m_routine = kPlain;
    bool m_inverted = false;
    double m_fps = kDefaultFps;

    double m_gain = 1.0, m_peakGain = 1.0;
    bool m_useBias = false;
    double m_kInt = 1.0, m_kRel = 1.0, m_kBias = 1.0;
    CCoeffs m_coeffs;
    size_t m_frameLength = kMinFrameLength;
    size_t m_framePos = 0;

    double m_m = 0.0, m_mRef = 0.0, m_r = 0.0, m_f = 0.0, m_p = 0.0, m_bias = 0.0;
    std::vector<double> m_history;  // capacity fixed at init
    size_t m_historyLength = 1;     // H
    size_t m_historyPos = 0;        // where the next frame goes
    size_t m_historyCount = 0;      // frames stored since the history restarted
    size_t m_hold = 0;              // frames p stays before it is looked up again

    bool m_frameReady = false;
    CAudioVizDataMeter m_frame;
};

// `audio:modMeter`: measures its input without changing it (the buffer is
// handed on) and publishes each channel's frame values to the instance's
// visualisation collector under the process's path.
class CModMeter final : public CAudioModuleProcess {
public:
    CErrorPtr init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) override;

    // Runs the channels two by two in one pass each.
    void process(size_t n) override;

protected:
    std::unique_ptr<CAudioModule> createModule() const override;
    void processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux, CAudioChannel& out,
                        size_t n) override;

private:
    CAudioVizMeterStream* m_stream = nullptr;
};

}  // namespace zel
