// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModMeter.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "Audio/Converters/NumberText.h"
#include "Audio/Engine/SampleConvert.h"
#include "Audio/VizCollector.h"

#define ZEL_SOURCE_TAG "ModMeter"

namespace zel {

namespace {

// The history never needs more than this many frames: the frame length F
// is at least round(rate / fps) and at least 32, so rate / F stays below
// 2 × fps at any rate, and H = round(T × rate / F) below 2 × T × fps.
size_t historyCapacityFor(double fps) { return size_t(std::ceil(2.0 * CModMeterModule::kMaxPeakTime * fps)) + 1; }

// Two meters in the lanes of one vector register.
using CPair = double __attribute__((vector_size(16)));
constexpr size_t kStep = CModMeterModule::kStep;

// The larger of two values, as std::max picks it, lane by lane.
[[gnu::always_inline]] inline double larger(double a, double b) { return std::max(a, b); }
[[gnu::always_inline]] inline CPair larger(CPair a, CPair b) { return a < b ? b : a; }

// Four lanes: two meters over the two halves of a run (see splitRun());
// eight: the partial sums of the difference routine's levels, or the
// segments of a run (see segmentRun()). Helpers that
// pass them by value are always inlined into the loops built for AVX2 or
// AVX-512 (see the build's note on this file).
using CQuad = double __attribute__((vector_size(32)));
using COct = double __attribute__((vector_size(64)));
[[gnu::always_inline]] inline CQuad larger(CQuad a, CQuad b) { return a < b ? b : a; }

template <class V>
constexpr size_t kLanes = sizeof(V) / sizeof(double);

// The vector of `Lanes` doubles.
template <size_t Lanes>
struct CVector;
template <>
struct CVector<1> {
    using type = double;
};
template <>
struct CVector<2> {
    using type = CPair;
};
template <>
struct CVector<4> {
    using type = CQuad;
};

// Samples as they lie (filled in place: a vector return value would
// depend on the instruction set the caller was built for).
template <class V>
[[gnu::always_inline]] inline void load(V& v, const double* x) {
    std::memcpy(&v, x, sizeof v);
}

// Host samples, converted as they are loaded.
template <class V>
[[gnu::always_inline]] inline void load(V& v, const float* x) {
    using CFloat4 = float __attribute__((vector_size(16)));
    using CFloat8 = float __attribute__((vector_size(32)));
    std::conditional_t<sizeof(V) == 64, CFloat8, CFloat4> f;
    static_assert(sizeof f * 2 == sizeof(V), "one float per lane");
    std::memcpy(&f, x, sizeof f);
    v = __builtin_convertvector(f, V);
}

// What a missing reference reads as.
const double kSilence[CModMeterModule::kMaxRun] = {};
const float kHostSilence[CModMeterModule::kMaxRun] = {};

// Sample i of one meter, or of two side by side.
struct COneMeter {
    const double* x;
    [[gnu::always_inline]] double operator()(size_t i) const { return x[i]; }
};
struct CTwoMeters {
    const double *a, *b;
    [[gnu::always_inline]] CPair operator()(size_t i) const { return CPair{a[i], b[i]}; }
};
[[gnu::always_inline]] inline COneMeter samplesOf(const double* x) { return {x}; }
[[gnu::always_inline]] inline CTwoMeters samplesOf(const double* a, const double* b) { return {a, b}; }

// The kStep samples from i of several streams, one lane each (lane l of
// v[j] is sample i + j of stream l): loaded four at a time as they lie and
// transposed.
static_assert(kStep == 4, "one quad per stream and step");
[[gnu::always_inline]] inline void transpose(const double* const (&s)[2], size_t i, CPair* v) {
    CQuad first, second;
    load(first, s[0] + i);
    load(second, s[1] + i);
    v[0] = __builtin_shufflevector(first, second, 0, 4);
    v[1] = __builtin_shufflevector(first, second, 1, 5);
    v[2] = __builtin_shufflevector(first, second, 2, 6);
    v[3] = __builtin_shufflevector(first, second, 3, 7);
}

[[gnu::always_inline]] inline void transpose(const double* const (&s)[4], size_t i, CQuad* v) {
    CQuad q0, q1, q2, q3;
    load(q0, s[0] + i);
    load(q1, s[1] + i);
    load(q2, s[2] + i);
    load(q3, s[3] + i);
    const CQuad even01 = __builtin_shufflevector(q0, q1, 0, 4, 2, 6);
    const CQuad odd01 = __builtin_shufflevector(q0, q1, 1, 5, 3, 7);
    const CQuad even23 = __builtin_shufflevector(q2, q3, 0, 4, 2, 6);
    const CQuad odd23 = __builtin_shufflevector(q2, q3, 1, 5, 3, 7);
    v[0] = __builtin_shufflevector(even01, even23, 0, 1, 4, 5);
    v[1] = __builtin_shufflevector(odd01, odd23, 0, 1, 4, 5);
    v[2] = __builtin_shufflevector(even01, even23, 2, 3, 6, 7);
    v[3] = __builtin_shufflevector(odd01, odd23, 2, 3, 6, 7);
}

template <size_t Streams>
struct CStreams {
    const double* s[Streams];
    template <class W>
    [[gnu::always_inline]] void step(size_t i, W* v) const {
        transpose(s, i, v);
    }
};

// The coefficients as the loops use them, one meter per lane.
template <class V>
struct CLanes {
    V kInt, keep;
    V scale[2 * kStep + 1], loss[2 * kStep + 1], holdScale[2 * kStep + 1], holdLoss[2 * kStep + 1], pull[kStep];
    // The same factors rounded, for values that are not carried on.
    V power[2 * kStep + 1], holdPower[2 * kStep + 1];
};

template <class V, class Get>
[[gnu::always_inline]] inline CLanes<V> lanes(Get get) {
    CLanes<V> l;
    l.kInt = get([](const CModMeterModule::CCoeffs& c) { return c.kInt; });
    l.keep = get([](const CModMeterModule::CCoeffs& c) { return c.keep; });
    for (size_t j = 0; j <= 2 * kStep; ++j) {
        l.scale[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.scale[j]; });
        l.loss[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.loss[j]; });
        l.holdScale[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.holdScale[j]; });
        l.holdLoss[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.holdLoss[j]; });
        l.power[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.scale[j] - c.loss[j]; });
        l.holdPower[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.holdScale[j] - c.holdLoss[j]; });
    }
    for (size_t j = 0; j < kStep; ++j) l.pull[j] = get([j](const CModMeterModule::CCoeffs& c) { return c.pull[j]; });
    return l;
}

[[gnu::always_inline]] inline CLanes<double> lanesOf(const CModMeterModule::CCoeffs& c) {
    return lanes<double>([&](auto field) { return field(c); });
}

[[gnu::always_inline]] inline CLanes<CPair> lanesOf(const CModMeterModule::CCoeffs& a,
                                                    const CModMeterModule::CCoeffs& b) {
    return lanes<CPair>([&](auto field) { return CPair{field(a), field(b)}; });
}

// The lanes of the parts of a run: lane l runs a part of meter l % Meters.
template <class W, size_t Meters>
[[gnu::always_inline]] inline CLanes<W> partsOf(const CModMeterModule::CCoeffs* const (&c)[2]) {
    return lanes<W>([&](auto field) {
        W v;
        for (size_t l = 0; l < kLanes<W>; ++l) v[l] = field(*c[l % Meters]);
        return v;
    });
}

// The recurrences are linear in the level (m' = (1 − k) m + k x²) and
// max-affine in the follower (r' = max(m', keep r + (1 − keep) m')), so a
// step of kStep samples composes into one such map whose parts do not depend
// on the running values: each loop-carried chain advances by two multiplies
// and two adds (and a maximum) per kStep samples (per two steps in the
// wide loops, see plainPair()) instead of per sample, and the per-sample
// work runs in parallel. A factor (1 − k)^j is applied as
// scale × v − loss × v with one of the two exact (see recompute()): rounded
// once, the factor's error would be applied at every step, and with slow
// times the level would drift from the sample-by-sample routine by many
// times the rounding. Results differ from that routine only by rounding.

// v × (scale − loss) + add; scales of 1, the usual case, need no multiply.
template <bool Scaled, class V>
[[gnu::always_inline]] inline V shrink(V scale, V loss, V v, V add) {
    if constexpr (Scaled)
        return scale * v + (add - loss * v);
    else
        return v + (add - loss * v);
}

// What a step makes of its samples, given the level it starts from: the
// largest follower it rises to (rest, see below), the pull of its levels on
// the follower (sum), its own part of the last level (c, from a level of 0)
// and that level (carried on exactly with `Carried`, else rounded).
template <class V>
struct CStepParts {
    V rest, sum, own, level;
};

template <bool Scaled, bool Carried, class V, class Get>
[[gnu::always_inline]] inline CStepParts<V> stepParts(const CLanes<V>& k, Get sample, V m, V& top) {
    V x2[kStep], levels[kStep];
    V c{};
#pragma GCC unroll 4
    for (size_t j = 0; j < kStep; ++j) {
        const V v = sample(j);
        x2[j] = v * v;
        top = larger(top, x2[j]);
        // The step's own part (from a level of 0) starts afresh at every
        // step: its rounded factor is applied once.
        c = j ? k.power[1] * c + k.kInt * x2[j] : k.kInt * x2[j];
        // Only the last level is carried on; the others meet the
        // follower's maximum and go.
        levels[j] =
            j + 1 < kStep || !Carried ? k.power[j + 1] * m + c : shrink<Scaled>(k.scale[kStep], k.loss[kStep], m, c);
    }
    // At the step's end the follower is the largest of: each level j where
    // the follower last rose to it, held for the samples after j and pulled
    // by the later levels (rest), and the follower it came in with, held
    // over the step and pulled by all of them (sum). The candidates meet
    // pairwise, so that the last of them waits on fewer maxima.
    V tail{}, candidate[kStep];
    candidate[kStep - 1] = levels[kStep - 1];
#pragma GCC unroll 4
    for (size_t back = 1; back < kStep; ++back) {
        const size_t j = kStep - 1 - back;
        tail += k.pull[j + 1] * levels[j + 1];
        const size_t held = kStep - 1 - j;
        candidate[j] = k.holdPower[held] * levels[j] + tail;
    }
    const V rest = larger(larger(candidate[3], candidate[2]), larger(candidate[1], candidate[0]));
    return {rest, tail + k.pull[0] * levels[0], c, levels[kStep - 1]};
}

// One step of kStep samples of every lane (`sample(j)`, j < kStep): level
// m, follower r and the largest square.
template <bool Scaled, class V, class Get>
[[gnu::always_inline]] inline void plainStep(const CLanes<V>& k, Get sample, V& m, V& r, V& top) {
    const CStepParts<V> p = stepParts<Scaled, true>(k, sample, m, top);
    m = p.level;
    r = larger(p.rest, shrink<Scaled>(k.holdScale[kStep], k.holdLoss[kStep], r, p.sum));
}

// Two steps of every lane (`sample(j)`, j < 2 kStep) as one: the carried
// values cross their chains once for both. The second step starts from
// the first one's last level, rounded, as it is not carried on. Also what
// the follower would be had it come in at 0 (s), and what is left over the
// steps of one it came in with (u): see splitRun().
template <bool Scaled, class V, class Get>
[[gnu::always_inline]] inline void plainPair(const CLanes<V>& k, Get sample, V& m, V& r, V& top, V& s, V& u) {
    const CStepParts<V> a = stepParts<Scaled, false>(k, sample, m, top);
    const CStepParts<V> b = stepParts<Scaled, false>(
        k, [&](size_t j) __attribute__((always_inline)) { return sample(kStep + j); }, a.level, top);
    constexpr size_t kBoth = 2 * kStep;
    // The follower rose within the second step, or within the first and
    // was held over the second, or came in and was held over both.
    const V sum = k.holdPower[kStep] * a.sum + b.sum;
    const V rest = larger(b.rest, k.holdPower[kStep] * a.rest + b.sum);
    m = shrink<Scaled>(k.scale[kBoth], k.loss[kBoth], m, k.power[kStep] * a.own + b.own);
    r = larger(rest, shrink<Scaled>(k.holdScale[kBoth], k.holdLoss[kBoth], r, sum));
    s = shrink<Scaled>(k.holdScale[kBoth], k.holdLoss[kBoth], s, sum);
    u = shrink<Scaled>(k.holdScale[kBoth], k.holdLoss[kBoth], u, V{});
}

// `x(i)` is sample i of every lane.
template <bool Scaled, class V, class Samples>
[[gnu::always_inline]] inline void plainRun(const CLanes<V>& k, Samples x, size_t n, V& level, V& follower,
                                            V& frameMax) {
    V m = level, r = follower, f = frameMax;
    // The follower moves by (m − r) × k written as m + (r − m) × (1 − k), so
    // that k = 1 lands exactly on m.
    auto sample = [&](V v) __attribute__((always_inline)) {
        const V x2 = v * v;
        m += (x2 - m) * k.kInt;
        r = larger(m, m + (r - m) * k.keep);
        f = larger(f, larger(x2, r));
    };
    // Within a run, after its first sample, m stays below the largest of r
    // and the later x², and r below the largest of its first value and the
    // later m: the frame maximum needs only the first follower value and the
    // squares.
    size_t i = 0;
    if (n) sample(x(i++));
    V top{};
    for (; i + kStep <= n; i += kStep)
        plainStep<Scaled>(
            k, [&](size_t j) __attribute__((always_inline)) { return x(i + j); }, m, r, top);
    for (; i < n; ++i) sample(x(i));
    level = m;
    follower = r;
    frameMax = larger(f, top);
}

// The parts of a run (n samples each, whole pairs of steps) side by side
// in the lanes. Each part after the first starts from the level the one
// before ends with (found beforehand by the difference routine's sums) and
// from a follower of 0. A follower's end value is the largest of the ways
// it got there: from some level it rose to within the part, or from its
// start value r0, shrunk by u over the part and pulled by the levels to
// s + u × r0. The follower of a part from 0 holds the first kind and s, so
// with r0 the end value of the part before, max(r, s + u × r0) is the
// follower at the part's end.
template <bool Scaled, class W, class Samples>
[[gnu::always_inline]] inline void splitRun(const CLanes<W>& k, Samples x, size_t n, W& m, W& r, W& s, W& u, W& top) {
    for (size_t i = 0; i + 2 * kStep <= n; i += 2 * kStep) {
        W v[2 * kStep];
        x.step(i, v);
        x.step(i + kStep, v + kStep);
        plainPair<Scaled>(
            k, [&](size_t j) __attribute__((always_inline)) { return v[j]; }, m, r, top, s, u);
    }
}

// The difference routine needs its levels only where runs end, and they
// are linear in the squares: m after a step of kSpan samples is
// (1 − k)^kSpan m plus each square times its weight. So the squares are
// summed Horner-wise, a vector at a time as they lie: each of the kSpan /
// lanes sums of a stream shrinks by (1 − k)^kSpan, rounded, and takes its
// vector of the next step's squares in one fused operation. What the sums
// hold leaves the run, so the rounded factor is applied only within it;
// the level each run starts from, carried on from run to run, shrinks once
// per run with the exact factor over its steps (see shrink()), off the
// sums' chains. At the end each sum's lanes take their weights in the
// step. The levels of the meters in a job (input and reference of each)
// run in one loop so that their chains overlap. Whole steps of kStep
// samples left over take the last kStep weights.
constexpr size_t kSpan = CModMeterModule::kSpan;
static_assert(kSpan % 8 == 0 && kSpan >= 2 * kStep, "whole vectors and quads per step");

[[gnu::always_inline]] inline double sumOf(CQuad v) { return (v[0] + v[1]) + (v[2] + v[3]); }
[[gnu::always_inline]] inline double sumOf(COct v) {
    return sumOf(CQuad{v[0], v[1], v[2], v[3]}) + sumOf(CQuad{v[4], v[5], v[6], v[7]});
}

// Lane q of one value or of several side by side.
[[gnu::always_inline]] inline double& lane(double& v, size_t) { return v; }
[[gnu::always_inline]] inline double& lane(CPair& v, size_t q) { return reinterpret_cast<double*>(&v)[q]; }

// Advances `streams` levels over n samples; coefficients per stream. With
// HostOdd, the odd streams read host samples (`host`) instead.
template <class W, size_t Streams, bool HostOdd = false>
[[gnu::always_inline]] inline void differenceRun(const CModMeterModule::CCoeffs* const k[Streams],
                                                 const double* const x[Streams], size_t n, double* const level[Streams],
                                                 const float* const* host = nullptr) {
    auto fromHost = [](size_t s) __attribute__((always_inline)) { return HostOdd && (s & 1); };
    auto sample = [&](size_t s, size_t j) __attribute__((always_inline)) {
        return fromHost(s) ? double(host[s][j]) : x[s][j];
    };
    constexpr size_t kWidth = kLanes<W>, kLoads = kSpan / kWidth;
    W sums[Streams][kLoads], shrinkage[Streams];
#pragma GCC unroll 4
    for (size_t s = 0; s < Streams; ++s) {
        for (size_t q = 0; q < kLoads; ++q) sums[s][q] = W{};
        shrinkage[s] = W{} + k[s]->spanPower;
    }
    size_t i = 0;
    for (; i + kSpan <= n; i += kSpan) {
#pragma GCC unroll 4
        for (size_t s = 0; s < Streams; ++s)
#pragma GCC unroll 4
            for (size_t q = 0; q < kLoads; ++q) {
                W a;
                if (fromHost(s))
                    load(a, host[s] + i + kWidth * q);
                else
                    load(a, x[s] + i + kWidth * q);
                sums[s][q] = shrinkage[s] * sums[s][q] + a * a;
            }
    }
    const size_t steps = i + (n - i) / kStep * kStep;
    for (size_t s = 0; s < Streams; ++s) {
        W weighted{};
        for (size_t q = 0; q < kLoads; ++q) {
            W weight;
            load(weight, k[s]->spanWeight + kWidth * q);
            weighted += weight * sums[s][q];
        }
        const double* const w = k[s]->spanWeight + kSpan - kStep;
        double v = shrink<true>(k[s]->spansScale[i / kSpan], k[s]->spansLoss[i / kSpan], *level[s], sumOf(weighted));
        for (size_t j = i; j < steps; j += kStep) {
            const double y[kStep] = {sample(s, j), sample(s, j + 1), sample(s, j + 2), sample(s, j + 3)};
            const double add =
                ((w[0] * (y[0] * y[0]) + w[1] * (y[1] * y[1])) + w[2] * (y[2] * y[2])) + w[3] * (y[3] * y[3]);
            v = shrink<true>(k[s]->scale[kStep], k[s]->loss[kStep], v, add);
        }
        for (size_t j = steps; j < n; ++j) {
            const double y = sample(s, j);
            v += (y * y - v) * k[s]->kInt;
        }
        *level[s] = v;
    }
}

// One run of one meter, or of two side by side: their coefficients, inputs
// and running levels (the second of each is unused for one meter).
struct CJob {
    const CModMeterModule::CCoeffs* coeffs[2];
    const double* in[2];
    const double* ref[2];
    // The references as host samples instead, when `hostRefs`.
    const float* refHost[2];
    bool hostRefs;
    double* m[2];
    double* mRef[2];
    double* r[2];
    double* f[2];
    size_t n;
    bool plain;  // else the difference routine
    bool pair;
};

template <class V>
[[gnu::always_inline]] inline V gather(double* const at[2]) {
    if constexpr (std::is_same_v<V, CPair>)
        return CPair{*at[0], *at[1]};
    else
        return *at[0];
}

template <class V>
[[gnu::always_inline]] inline void scatter(double* const at[2], V v) {
    if constexpr (std::is_same_v<V, CPair>) {
        *at[0] = v[0];
        *at[1] = v[1];
    } else {
        *at[0] = v;
    }
}

// With Parts > 1, runs of at least 1 + Parts × kSpan samples are cut into
// their first sample (see plainRun()), Parts parts of whole pairs of steps
// run side by side in the lanes of vectors (splitRun()), and the rest. W is the
// vector of the difference routine's sums.
template <bool Scaled, class V, size_t Parts, class W>
[[gnu::always_inline]] inline void plainLanes(const CJob& job, V& m, V& r, V& f) {
    constexpr bool kTwo = std::is_same_v<V, CPair>;
    constexpr size_t kMeters = kTwo ? 2 : 1;
    auto samples = [&](size_t from) __attribute__((always_inline)) {
        if constexpr (kTwo)
            return samplesOf(job.in[0] + from, job.in[1] + from);
        else
            return samplesOf(job.in[0] + from);
    };
    CLanes<V> k;
    if constexpr (kTwo)
        k = lanesOf(*job.coeffs[0], *job.coeffs[1]);
    else
        k = lanesOf(*job.coeffs[0]);
    const size_t n = job.n;
    if constexpr (Parts == 1) {
        plainRun<Scaled>(k, samples(0), n, m, r, f);
    } else {
        if (n < 1 + Parts * kSpan) {
            plainRun<Scaled>(k, samples(0), n, m, r, f);
            return;
        }
        plainRun<Scaled>(k, samples(0), 1, m, r, f);
        const size_t part = 2 * kStep * ((n - 1) / (Parts * 2 * kStep));
        constexpr size_t kWidth = Parts * kMeters;
        using P = typename CVector<kWidth>::type;
        P pm{}, pr{}, ps{}, pu{}, top{};
        CStreams<kWidth> streams;
        {
            const CModMeterModule::CCoeffs* coeffs[kMeters];
            const double* x[kMeters];
            double start[kMeters];
            double* level[kMeters];
            for (size_t q = 0; q < kMeters; ++q) {
                coeffs[q] = job.coeffs[q];
                x[q] = job.in[q] + 1;
                start[q] = lane(m, q);
                level[q] = &start[q];
            }
            for (size_t p = 0; p < Parts; ++p) {
                for (size_t q = 0; q < kMeters; ++q) {
                    const size_t l = p * kMeters + q;
                    pm[l] = start[q];
                    pr[l] = p ? 0.0 : lane(r, q);
                    pu[l] = 1.0;
                    streams.s[l] = x[q];
                }
                if (p + 1 == Parts) break;
                differenceRun<W, kMeters>(coeffs, x, part, level);
                for (size_t q = 0; q < kMeters; ++q) x[q] += part;
            }
        }
        splitRun<Scaled>(partsOf<P, kMeters>(job.coeffs), streams, part, pm, pr, ps, pu, top);
        for (size_t q = 0; q < kMeters; ++q) {
            double follower = pr[q], largest = top[q];
            for (size_t p = 1; p < Parts; ++p) {
                const size_t l = p * kMeters + q;
                follower = larger(pr[l], ps[l] + pu[l] * follower);
                largest = larger(largest, top[l]);
            }
            lane(m, q) = pm[(Parts - 1) * kMeters + q];
            lane(r, q) = follower;
            lane(f, q) = larger(lane(f, q), largest);
        }
        plainRun<Scaled>(k, samples(1 + Parts * part), n - 1 - Parts * part, m, r, f);
    }
}

template <class V, size_t Parts, class W>
[[gnu::always_inline]] inline void runLanes(const CJob& job) {
    const bool scaled = job.coeffs[0]->scaled || (job.pair && job.coeffs[1]->scaled);
    V m = gather<V>(job.m);
    V r = gather<V>(job.r), f = gather<V>(job.f);
    if (scaled)
        plainLanes<true, V, Parts, W>(job, m, r, f);
    else
        plainLanes<false, V, Parts, W>(job, m, r, f);
    scatter(job.r, r);
    scatter(job.f, f);
    scatter(job.m, m);
}

// The levels of a difference job: input and reference of each meter.
template <class W, size_t Meters>
[[gnu::always_inline]] inline void differenceLanes(const CJob& job) {
    constexpr size_t kStreams = 2 * Meters;
    const CModMeterModule::CCoeffs* k[kStreams];
    const double* x[kStreams];
    const float* host[kStreams] = {};
    double* level[kStreams];
    for (size_t lane = 0; lane < Meters; ++lane) {
        k[2 * lane] = k[2 * lane + 1] = job.coeffs[lane];
        x[2 * lane] = job.in[lane];
        x[2 * lane + 1] = job.ref[lane] ? job.ref[lane] : kSilence;
        host[2 * lane + 1] = job.refHost[lane] ? job.refHost[lane] : kHostSilence;
        level[2 * lane] = job.m[lane];
        level[2 * lane + 1] = job.mRef[lane];
    }
    if (job.hostRefs)
        differenceRun<W, kStreams, true>(k, x, job.n, level, host);
    else
        differenceRun<W, kStreams>(k, x, job.n, level);
}

template <size_t Parts, class W>
[[gnu::always_inline]] inline void runJob(const CJob& job) {
    if (job.plain) {
        if (job.pair)
            runLanes<CPair, Parts, W>(job);
        else
            runLanes<double, Parts, W>(job);
    } else {
        if (job.pair)
            differenceLanes<W, 2>(job);
        else
            differenceLanes<W, 1>(job);
    }
}

// The widest loops run the plain routine otherwise: a run is cut into
// kSegments segments of L samples, one per lane, and each lane runs the
// recurrences sample by sample over its own segment. The level is linear,
// so its value where a segment starts is found first, from the weighted
// sums of the squares of the segments before. The follower run from 0 over
// a segment gives the largest it rises to (c), and its linear part the pull
// of the levels (d): the follower r at the segment's start comes out as
// max(c, keep^L r + d) at its end, which runs from lane to lane once per
// run. The frame maximum needs only the squares: it already holds the
// follower the run starts with, and the follower never rises above the
// largest of that and the squares. The level and follower carried on to
// the next run shrink with exact factors (see shrink()), while the values
// within a run, which go with it, use rounded ones. Within a lane the
// levels are kept divided by k_int, so that a step of the level costs one
// fused operation; the follower's values are divided alike, and multiplied
// back at the end.
constexpr size_t kSegments = 8;
constexpr size_t kMaxSegment = CModMeterModule::kMaxSegment;
static_assert(kMaxSegment == CModMeterModule::kMaxRun / kSegments, "one segment per lane");

// A factor (1 − l) as scale − loss (see recompute()).
struct CSplitFactor {
    double scale, loss;
};

// What is left over kSegments segments, from what is left over one: the
// loss doubles as l + (l − l²), accurate to its last bit; from 1/2 on, the
// scale is squared (see recompute()).
[[gnu::always_inline]] inline CSplitFactor overSegments(double scale, double loss) {
    for (size_t n = 1; n < kSegments; n *= 2) {
        if (scale < 1.0) {
            scale *= scale;
            continue;
        }
        loss += loss - loss * loss;
        if (loss >= 0.5) {
            scale = 1.0 - loss;
            loss = 0.0;
        }
    }
    return {scale, loss};
}

// Samples `at` to `at` + 7 of the segments of `x`, L samples long: lane l
// of v[j] is x[l L + at + j]. Segments l and l + 4 are loaded a quad at a
// time into the halves of one vector, so that each half holds a 4 × 4 block
// and two stages of shuffles transpose them all.
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline void transposeSegments(const double* x, size_t length,
                                                                                      size_t at, COct* v) {
    COct q[kSegments], t[kSegments];
#pragma GCC unroll 8
    for (size_t l = 0; l < kSegments; ++l) {
        // q[l], l < 4: samples 0-3 of segments l and l + 4; q[4 + l] the same
        // of samples 4-7.
        const size_t row = l % 4, from = at + 4 * (l / 4);
        // The upper quad inserted from memory, with no shuffle (the masked
        // form: the plain one reads an undefined vector).
        const __m512d low = _mm512_castpd256_pd512(_mm256_loadu_pd(x + row * length + from));
        q[l] = _mm512_mask_insertf64x4(low, __mmask8(0xFF), low, _mm256_loadu_pd(x + (row + 4) * length + from), 1);
    }
#pragma GCC unroll 8
    for (size_t p = 0; p < kSegments; p += 2) {
        t[p] = __builtin_shufflevector(q[p], q[p + 1], 0, 8, 2, 10, 4, 12, 6, 14);
        t[p + 1] = __builtin_shufflevector(q[p], q[p + 1], 1, 9, 3, 11, 5, 13, 7, 15);
    }
    // In a group of four from g, t[g + h] holds samples h and h + 2 of the
    // segments two by two; the last stage joins the pairs.
#pragma GCC unroll 2
    for (size_t g = 0; g < kSegments; g += 4)
#pragma GCC unroll 2
        for (size_t h = 0; h < 2; ++h) {
            v[g + h] = __builtin_shufflevector(t[g + h], t[g + 2 + h], 0, 1, 8, 9, 4, 5, 12, 13);
            v[g + 2 + h] = __builtin_shufflevector(t[g + h], t[g + 2 + h], 2, 3, 10, 11, 6, 7, 14, 15);
        }
}

// The lanes moved up by K, zeros below.
template <size_t K>
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline COct shiftUp(COct v) {
    static_assert(K == 1 || K == 2 || K == 4, "a step of a scan over eight lanes");
    if constexpr (K == 1)
        return __builtin_shufflevector(COct{}, v, 0, 8, 9, 10, 11, 12, 13, 14);
    else if constexpr (K == 2)
        return __builtin_shufflevector(COct{}, v, 0, 1, 8, 9, 10, 11, 12, 13);
    else
        return __builtin_shufflevector(COct{}, v, 0, 1, 2, 3, 8, 9, 10, 11);
}

// (1, p, p², …, p⁷).
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline COct powersOf(double p) {
    const double p2 = p * p;
    const COct one = COct{} + 1.0;
    return __builtin_shufflevector(one, COct{} + p, 0, 9, 2, 11, 4, 13, 6, 15) *
           __builtin_shufflevector(one, COct{} + p2, 0, 1, 10, 11, 4, 5, 14, 15) *
           __builtin_shufflevector(one, COct{} + p2 * p2, 0, 1, 2, 3, 12, 13, 14, 15);
}

// Lane l of the result is the sum over j ≤ l of p^(l − j) v_j: three steps
// across the lanes instead of a chain through all eight.
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline COct sumsUpTo(COct v, double p) {
    const double p2 = p * p;
    v += p * shiftUp<1>(v);
    v += p2 * shiftUp<2>(v);
    return v + p2 * p2 * shiftUp<4>(v);
}

// A step of composing the lanes' maps x ↦ max(a_l, h x + b_l) from lane 0
// on, each lane holding K of them so far (rose a, pulled b, h = hold^K):
// lane l takes on the K below it. Applied to 0 the maps give the largest
// of a and b, so lanes with none below take zeros.
template <size_t K>
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline void compose(COct& rose, COct& pulled, double h) {
    const COct below = h * shiftUp<K>(rose) + pulled;
    rose = rose < below ? below : rose;
    pulled += h * shiftUp<K>(pulled);
}

// The segments of `Meters` meters, L samples each, run in one loop so that
// their chains overlap; each meter's lanes do what they do alone.
template <size_t Meters>
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline void segmentRun(
    const CModMeterModule::CCoeffs* const (&k)[Meters], const double* const (&x)[Meters], size_t length,
    double (&m)[Meters], double (&r)[Meters], double (&f)[Meters]) {
    // The squares, and the level each segment adds from a level of 0.
    COct squares[kMaxSegment][Meters], own[Meters], top[Meters];
    for (size_t q = 0; q < Meters; ++q) own[q] = top[q] = COct{};
    auto square = [&](size_t q, size_t at, const COct& v) __attribute__((always_inline)) {
        const COct s = v * v;
        squares[at][q] = s;
        top[q] = top[q] < s ? s : top[q];
        own[q] += k[q]->segmentWeight[length - 1 - at] * s;
    };
    size_t at = 0;
    for (; at + 8 <= length; at += 8)
#pragma GCC unroll 2
        for (size_t q = 0; q < Meters; ++q) {
            COct v[8];
            transposeSegments(x[q], length, at, v);
#pragma GCC unroll 8
            for (size_t j = 0; j < 8; ++j) square(q, at + j, v[j]);
        }
    if (at < length)
        for (size_t q = 0; q < Meters; ++q) {
            // The last samples again, overlapping those done.
            COct v[8];
            transposeSegments(x[q], length, length - 8, v);
            for (size_t j = at + 8 - length; j < 8; ++j) square(q, length - 8 + j, v[j]);
        }
    COct level[Meters], follower[Meters], linear[Meters], keep[Meters], rise[Meters], fall[Meters];
#pragma GCC unroll 2
    for (size_t q = 0; q < Meters; ++q) {
        const CModMeterModule::CCoeffs& c = *k[q];
        const double power = c.segmentScale[length] - c.segmentLoss[length];
        // Segment l starts at power^l m plus what the segments before add,
        // each shrunk by power over every segment between.
        const COct added = sumsUpTo(own[q], power);
        level[q] = (m[q] * powersOf(power) + shiftUp<1>(added)) * (1.0 / c.kInt);
        follower[q] = linear[q] = COct{};
        keep[q] = COct{} + c.keep;
        rise[q] = COct{} + (1.0 - c.keep);
        fall[q] = COct{} + (1.0 - c.kInt);
        const CSplitFactor whole = overSegments(c.segmentScale[length], c.segmentLoss[length]);
        m[q] = shrink<true>(whole.scale, whole.loss, m[q], added[kSegments - 1]);
    }
    // Two samples a step: the follower comes out of a step as the largest
    // of the second level, the first one held over the second sample and
    // pulled by it, and the follower it came in with, held over both and
    // pulled by both. The follower's chain crosses one fused operation and
    // a maximum per step. Written out, so that no compiler takes the pulls'
    // products into other operations.
    COct keep2[Meters], keptRise[Meters];
    for (size_t q = 0; q < Meters; ++q) {
        keep2[q] = keep[q] * keep[q];
        keptRise[q] = keep[q] * rise[q];
    }
    size_t t = 0;
    if (length % 2) {
#pragma GCC unroll 2
        for (size_t q = 0; q < Meters; ++q) {
            level[q] = _mm512_fmadd_pd(fall[q], level[q], squares[0][q]);
            follower[q] = level[q];
            linear[q] = _mm512_mul_pd(rise[q], level[q]);
        }
        t = 1;
    }
    for (; t < length; t += 2)
#pragma GCC unroll 2
        for (size_t q = 0; q < Meters; ++q) {
            const __m512d first = _mm512_fmadd_pd(fall[q], level[q], squares[t][q]);
            level[q] = _mm512_fmadd_pd(fall[q], first, squares[t + 1][q]);
            const __m512d pull = _mm512_mul_pd(rise[q], level[q]);
            const __m512d pulls = _mm512_fmadd_pd(keptRise[q], first, pull);
            const COct held = _mm512_fmadd_pd(keep[q], first, pull);
            const COct kept = _mm512_fmadd_pd(keep2[q], follower[q], pulls);
            const COct risen = level[q] < held ? held : level[q];
            follower[q] = risen < kept ? kept : risen;
            linear[q] = _mm512_fmadd_pd(keep2[q], linear[q], pulls);
        }
#pragma GCC unroll 2
    for (size_t q = 0; q < Meters; ++q) {
        const CModMeterModule::CCoeffs& c = *k[q];
        const double hold = c.segmentHoldScale[length] - c.segmentHoldLoss[length];
        // The segments' maps composed: the follower from 0 (rose) and the
        // linear part (pulled).
        COct rose = follower[q] * c.kInt, pulled = linear[q] * c.kInt;
        compose<1>(rose, pulled, hold);
        compose<2>(rose, pulled, hold * hold);
        compose<4>(rose, pulled, (hold * hold) * (hold * hold));
        const CSplitFactor whole = overSegments(c.segmentHoldScale[length], c.segmentHoldLoss[length]);
        r[q] = larger(larger(rose[kSegments - 1], pulled[kSegments - 1]),
                      shrink<true>(whole.scale, whole.loss, r[q], pulled[kSegments - 1]));
        // Written out: vectors cross no call in a function of its own target.
        const CQuad low = __builtin_shufflevector(top[q], top[q], 0, 1, 2, 3);
        const CQuad high = __builtin_shufflevector(top[q], top[q], 4, 5, 6, 7);
        const CQuad top4 = low < high ? high : low;
        f[q] = larger(f[q], larger(larger(top4[0], top4[1]), larger(top4[2], top4[3])));
    }
}

// The plain routine of one meter or of two in the widest loops: runs too
// short for segments of eight samples go as in the other loops.
template <size_t Meters>
[[gnu::always_inline, gnu::target("avx512f,avx2,fma")]] inline void segmentLanes(const CJob& job) {
    const size_t n = job.n;
    if (n < kSegments * 8) {
        if constexpr (Meters == 2)
            runLanes<CPair, 1, COct>(job);
        else
            runLanes<double, 1, COct>(job);
        return;
    }
    const CModMeterModule::CCoeffs* k[Meters];
    const double* x[Meters];
    double m[Meters], r[Meters], f[Meters];
    for (size_t q = 0; q < Meters; ++q) {
        k[q] = job.coeffs[q];
        m[q] = *job.m[q];
        r[q] = *job.r[q];
        f[q] = *job.f[q];
        x[q] = job.in[q];
    }
    const size_t length = n / kSegments;
    segmentRun<Meters>(k, x, length, m, r, f);
    // The few samples left over go one by one, as plainRun() takes single
    // samples, the meters' chains side by side.
    for (size_t i = kSegments * length; i < n; ++i)
        for (size_t q = 0; q < Meters; ++q) {
            const double x2 = x[q][i] * x[q][i];
            m[q] += (x2 - m[q]) * k[q]->kInt;
            r[q] = larger(m[q], m[q] + (r[q] - m[q]) * k[q]->keep);
            f[q] = larger(f[q], larger(x2, r[q]));
        }
    for (size_t q = 0; q < Meters; ++q) {
        *job.m[q] = m[q];
        *job.r[q] = r[q];
        *job.f[q] = f[q];
    }
}

// The loops compiled three times: for any x86-64 processor, for those with
// AVX2 and FMA, and for those with AVX-512 (fused multiply-adds round once
// where the others round twice; all stay within the routine's rounding).
// The widest the processor has is picked once, when the module is loaded.
// Only the AVX2 loops split the plain routine's runs in halves: with
// vectors of two lanes, the two meters of a pair already fill them. The
// widest loops add eight-lane sums, and cut the plain routine's runs into
// segments (segmentRun()).
void runAnywhere(const CJob& job) { runJob<1, CQuad>(job); }

__attribute__((target("avx2,fma"))) void runAvx2(const CJob& job) { runJob<2, CQuad>(job); }

__attribute__((target("avx512f,avx2,fma"))) void runAvx512(const CJob& job) {
    if (job.plain) {
        if (job.pair)
            segmentLanes<2>(job);
        else
            segmentLanes<1>(job);
    } else {
        if (job.pair)
            differenceLanes<COct, 2>(job);
        else
            differenceLanes<COct, 1>(job);
    }
}

bool supported(CModMeterModule::ELoops loops) {
    __builtin_cpu_init();
    switch (loops) {
        case CModMeterModule::kLoopsAvx512:
            return __builtin_cpu_supports("avx512f") && supported(CModMeterModule::kLoopsAvx2);
        case CModMeterModule::kLoopsAvx2:
            return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
        case CModMeterModule::kLoopsAnywhere:
            break;
    }
    return true;
}

CModMeterModule::ELoops widest() {
    for (auto loops : {CModMeterModule::kLoopsAvx512, CModMeterModule::kLoopsAvx2})
        if (supported(loops)) return loops;
    return CModMeterModule::kLoopsAnywhere;
}

void (*routineFor(CModMeterModule::ELoops loops))(const CJob&) {
    switch (loops) {
        case CModMeterModule::kLoopsAvx512:
            return &runAvx512;
        case CModMeterModule::kLoopsAvx2:
            return &runAvx2;
        case CModMeterModule::kLoopsAnywhere:
            break;
    }
    return &runAnywhere;
}

void (*g_run)(const CJob&) = routineFor(widest());

}  // namespace
CModMeterModule::CModMeterModule() : CAudioModule(kSlotCount), m_history(historyCapacityFor(kDefaultFps)) {}

CErrorPtr CModMeterModule::init(const CAudioProcessDefBase& def) {
    const bool isDiff = def.getBool("is-diff", false);
    const bool isCompression = def.getBool("is-compression", false);
    m_inverted = def.getBool("is-inverted", false);
    double fps = 0.0;
    if (!def.readReal("fps", fps) || !std::isfinite(fps) || fps <= 0.0) fps = kDefaultFps;
    m_fps = fps;
    m_routine = isDiff ? kDifference : isCompression ? kMinimum : kPlain;
    m_history.assign(historyCapacityFor(m_fps), 0.0);
    m_historyLength = 1;
    clearHistory();
    return nullptr;
}

double CModMeterModule::smoothingCoeff(double seconds, double sampleRate) {
    if (!(seconds >= kMinTime) || !(sampleRate > 0.0)) return 1.0;
    const double w = 2.0 * M_PI / (sampleRate * seconds * 1.362);
    const double y = 2.0 - std::cos(w);
    return 1.0 - (y - std::sqrt(y * y - 1.0));
}

size_t CModMeterModule::frameLengthFor(double sampleRate, double fps) {
    long long length = roundHalfAwayToInt(sampleRate / fps);
    if (length % 2) ++length;
    return size_t(std::max<long long>(length, kMinFrameLength));
}

double CModMeterModule::read(ESlot slot, double fallback) const {
    return m_slots[slot].read(size_t(group), size_t(element), fallback);
}

void CModMeterModule::reset() {
    m_m = m_mRef = m_r = m_bias = 0.0;
    // The first frame's extreme starts from nothing, and is a new peak.
    m_f = m_p = m_routine == kMinimum ? HUGE_VAL : 0.0;
    m_framePos = 0;
    m_frameReady = false;
    m_frame = CAudioVizDataMeter();
    clearHistory();
    recompute();
}

void CModMeterModule::update() {
    m_gain = read(kGain, 1.0);
    m_peakGain = read(kPeakGain, 1.0);
    m_useBias = read(kUseBias, 1.0) >= 0.5;
    bool timing = formatChanged;
    for (ESlot s : {kPeakTime, kRmsTime, kBiasTime, kRelease, kRmsTime2, kRelease2, kUseTime2})
        timing = timing || m_slots[s].changed();
    if (timing) recompute();
    formatChanged = false;
}

void CModMeterModule::recompute() {
    const bool second = read(kUseTime2, 0.0) >= 0.5;
    m_kInt = smoothingCoeff(read(second ? kRmsTime2 : kRmsTime, 0.1), sampleRate);
    m_kRel = smoothingCoeff(read(second ? kRelease2 : kRelease, 0.5), sampleRate);
    m_kBias = smoothingCoeff(read(kBiasTime, 2.0), sampleRate);
    CCoeffs& c = m_coeffs;
    c.kInt = m_kInt;
    c.keep = 1.0 - m_kRel;
    // The loss over j samples, l = 1 − (1 − k)^j, is accurate to its last
    // bit (l' = l + (k − k l)). Below 1/2 a value is scaled by 1 and loses
    // l × v, which rounds without bias; from 1/2 on, 1 − l is exact and is
    // the scale, with no loss. (A scale of 1 − l rounded would pull every
    // step the same way.)
    const double rise = 1.0 - c.keep;
    auto split = [](double lost, double& scale, double& loss) {
        scale = lost < 0.5 ? 1.0 : 1.0 - lost;
        loss = lost < 0.5 ? lost : 0.0;
    };
    double fall = 0.0, release = 0.0;
    // (1 − k_int)^j for every j up to the difference routine's step.
    double power[kSpan + 1] = {1.0};
    double spanLost = 0.0;
    for (size_t j = 1; j <= kSpan; ++j) {
        fall += m_kInt - m_kInt * fall;
        double scale, loss;
        split(fall, scale, loss);
        power[j] = scale - loss;
        if (j == kSpan) spanLost = fall;
        if (j > 2 * kStep) continue;
        release += rise - rise * release;
        c.scale[j] = scale;
        c.loss[j] = loss;
        split(release, c.holdScale[j], c.holdLoss[j]);
    }
    // The segments' factors reach further: once half is lost, what is left
    // is carried on as a product, which keeps its last bits where 1 − l
    // would lose them.
    auto decay = [&split](double k, double& lost, double& scale, double& loss) {
        if (scale < 1.0) {
            scale *= 1.0 - k;
            return;
        }
        lost += k - k * lost;
        split(lost, scale, loss);
    };
    fall = 0.0;
    for (size_t j = 1; j <= kMaxRun / kSpan; ++j) {
        c.spansScale[j] = c.spansScale[j - 1];
        c.spansLoss[j] = c.spansLoss[j - 1];
        decay(spanLost, fall, c.spansScale[j], c.spansLoss[j]);
    }
    c.spanPower = power[kSpan];
    fall = release = 0.0;
    for (size_t j = 1; j <= kMaxSegment; ++j) {
        c.segmentWeight[j - 1] = m_kInt * (c.segmentScale[j - 1] - c.segmentLoss[j - 1]);
        c.segmentScale[j] = c.segmentScale[j - 1];
        c.segmentLoss[j] = c.segmentLoss[j - 1];
        c.segmentHoldScale[j] = c.segmentHoldScale[j - 1];
        c.segmentHoldLoss[j] = c.segmentHoldLoss[j - 1];
        decay(m_kInt, fall, c.segmentScale[j], c.segmentLoss[j]);
        decay(rise, release, c.segmentHoldScale[j], c.segmentHoldLoss[j]);
    }
    c.scaled = c.scale[2 * kStep] != 1.0 || c.holdScale[2 * kStep] != 1.0;
    for (size_t i = 0; i < kStep; ++i) c.pull[i] = rise * (c.holdScale[kStep - 1 - i] - c.holdLoss[kStep - 1 - i]);
    for (size_t i = 0; i < kSpan; ++i) c.spanWeight[i] = m_kInt * power[kSpan - 1 - i];

    const size_t frameLength = frameLengthFor(sampleRate, m_fps);
    if (frameLength != m_frameLength) {
        // The frame in progress would be cut short or overrun: start anew.
        m_frameLength = frameLength;
        m_framePos = 0;
        m_f = m_r;
    }
    const double peakTime = std::clamp(read(kPeakTime, 1.0), 0.0, kMaxPeakTime);
    const long long frames = roundHalfAwayToInt(peakTime * sampleRate / double(m_frameLength));
    const size_t historyLength = std::min(size_t(std::max(1LL, frames)), m_history.size());
    if (historyLength != m_historyLength) {
        m_historyLength = historyLength;
        clearHistory();
    }
}

void CModMeterModule::clearHistory() {
    m_historyPos = 0;
    m_historyCount = 0;
    m_hold = 0;
}

void CModMeterModule::integrateMinimum(const double* in, size_t n) {
    const double kInt = m_kInt, keep = 1.0 - m_kRel, kBias = m_kBias;
    double m = m_m, r = m_r, f = m_f, b = m_bias;
    for (size_t i = 0; i < n; ++i) {
        double s = in[i] * in[i];
        if (m_useBias) {
            b += (s - b) * kBias;
            s /= b + kDiffFloor;
        }
        m += (s - m) * kInt;
        r = m < r ? m : m + (r - m) * keep;
        f = std::min(f, r);
    }
    m_bias = b;
    m_m = m;
    m_r = r;
    m_f = f;
}

// Rare: kept out of the way of the loops.
[[gnu::cold, gnu::noinline]] void CModMeterModule::remeasure(const CLevels& from, const double* in, const double* ref,
                                                             size_t n) {
    const double kInt = m_kInt, keep = 1.0 - m_kRel, kBias = m_kBias;
    double m = from.m, mRef = from.mRef, r = from.r, f = from.f, b = from.bias;
    for (size_t i = 0; i < n; ++i) {
        double s = in[i] * in[i];
        const bool measurable = std::isfinite(s);
        if (m_routine == kDifference) {
            const double y = ref ? ref[i] * ref[i] : 0.0;
            if (measurable) m += (s - m) * kInt;
            if (std::isfinite(y)) mRef += (y - mRef) * kInt;
        } else if (m_routine == kPlain) {
            // As the loops step.
            if (measurable) m += (s - m) * kInt;
            r = larger(m, m + (r - m) * keep);
            f = larger(f, measurable ? larger(s, r) : kOverPower);
        } else {
            if (measurable && m_useBias) {
                const double bias = b + (s - b) * kBias;
                s /= bias + kDiffFloor;
                // A square far beyond any level can overflow the ratio.
                if (std::isfinite(s)) b = bias;
            }
            if (std::isfinite(s)) m += (s - m) * kInt;
            r = m < r ? m : m + (r - m) * keep;
            f = std::min(f, r);
        }
    }
    m_m = m;
    m_mRef = mRef;
    m_r = r;
    m_f = f;
    m_bias = b;
}

size_t CModMeterModule::run(const double* in, const double* ref, size_t n) { return runWith(in, ref, n); }

size_t CModMeterModule::runHost(const double* in, const float* ref, size_t n) { return runWith(in, ref, n); }

namespace {

// What a job needs of a reference: samples as they are.
void setReference(CJob& job, size_t lane, const double* ref) { job.ref[lane] = ref; }
void setReference(CJob& job, size_t lane, const float* ref) {
    job.refHost[lane] = ref;
    job.hostRefs = true;
}

}  // namespace

void CModMeterModule::remeasure(const CLevels& from, const double* in, const float* ref, size_t n) {
    double converted[kMaxRun];
    if (ref) convertSamples(ref, converted, n);
    remeasure(from, in, ref ? converted : nullptr, n);
}

template <class Ref>
size_t CModMeterModule::runWith(const double* in, const Ref* ref, size_t n) {
    const size_t todo = std::min({n, m_frameLength - m_framePos, kMaxRun});
    const CLevels before = levels();
    if (m_routine == kMinimum) {
        integrateMinimum(in, todo);
    } else {
        CJob job{};
        job.coeffs[0] = &m_coeffs;
        job.in[0] = in;
        setReference(job, 0, ref);
        job.m[0] = &m_m;
        job.mRef[0] = &m_mRef;
        job.r[0] = &m_r;
        job.f[0] = &m_f;
        job.n = todo;
        job.plain = m_routine == kPlain;
        g_run(job);
    }
    if (!levelsAreNumbers()) remeasure(before, in, ref, todo);
    advance(todo);
    return todo;
}

bool CModMeterModule::useLoops(ELoops loops) {
    if (!supported(loops)) return false;
    g_run = routineFor(loops);
    return true;
}

CModMeterModule::ELoops CModMeterModule::widestLoops() { return widest(); }

size_t CModMeterModule::runPair(CModMeterModule& a, CModMeterModule& b, const double* inA, const double* refA,
                                const double* inB, const double* refB, size_t n) {
    return runPairWith(a, b, inA, refA, inB, refB, n);
}

size_t CModMeterModule::runPairHost(CModMeterModule& a, CModMeterModule& b, const double* inA, const float* refA,
                                    const double* inB, const float* refB, size_t n) {
    return runPairWith(a, b, inA, refA, inB, refB, n);
}

template <class Ref>
size_t CModMeterModule::runPairWith(CModMeterModule& a, CModMeterModule& b, const double* inA, const Ref* refA,
                                    const double* inB, const Ref* refB, size_t n) {
    const size_t todo = std::min({n, a.m_frameLength - a.m_framePos, kMaxRun});
    CJob job{};
    CModMeterModule* meters[2] = {&a, &b};
    const double* in[2] = {inA, inB};
    const Ref* ref[2] = {refA, refB};
    for (size_t lane = 0; lane < 2; ++lane) {
        CModMeterModule& meter = *meters[lane];
        job.coeffs[lane] = &meter.m_coeffs;
        job.in[lane] = in[lane];
        setReference(job, lane, ref[lane]);
        job.m[lane] = &meter.m_m;
        job.mRef[lane] = &meter.m_mRef;
        job.r[lane] = &meter.m_r;
        job.f[lane] = &meter.m_f;
    }
    job.n = todo;
    job.plain = a.m_routine == kPlain;
    job.pair = true;
    const CLevels beforeA = a.levels(), beforeB = b.levels();
    g_run(job);
    // The lanes never mix: a bad sample of one meter leaves the other's
    // levels as they are.
    if (!a.levelsAreNumbers()) a.remeasure(beforeA, inA, refA, todo);
    if (!b.levelsAreNumbers()) b.remeasure(beforeB, inB, refB, todo);
    a.advance(todo);
    b.advance(todo);
    return todo;
}

void CModMeterModule::endFrame() {
    m_framePos = 0;
    if (m_routine == kDifference) {
        const double level = std::sqrt((m_m + kDiffFloor) / (m_mRef + kDiffFloor)) * m_gain;
        setFrame(level, level * m_peakGain);
        return;
    }
    const bool minimum = m_routine == kMinimum;
    m_history[m_historyPos] = m_f;
    m_historyPos = (m_historyPos + 1) % m_historyLength;
    m_historyCount = std::min(m_historyCount + 1, m_historyLength);
    if (minimum ? m_f <= m_p : m_f >= m_p) {
        m_p = m_f;
        m_hold = m_historyLength - 1;
    } else if (m_hold == 0) {
        holdExtreme(minimum);
    } else {
        --m_hold;
    }
    const double peak = minimum ? std::min(m_f, m_p) : std::max(m_f, m_p);
    setFrame(std::sqrt(m_r) * m_gain, std::sqrt(peak) * m_gain * m_peakGain);
    m_f = m_r;
}

void CModMeterModule::holdExtreme(bool minimum) {
    // Newest first, so that of equal values the one that stays longest wins.
    auto at = [&](size_t age) { return m_history[(m_historyPos + 2 * m_historyLength - 1 - age) % m_historyLength]; };
    size_t bestAge = 0;
    double best = at(0);
    for (size_t age = 1; age < m_historyCount; ++age) {
        const double v = at(age);
        if (minimum ? v < best : v > best) {
            best = v;
            bestAge = age;
        }
    }
    m_p = best;
    m_hold = m_historyLength - 1 - bestAge;
}

void CModMeterModule::setFrame(double level, double peak) {
    // The editor only ever reads numbers: the reciprocal of silence, or a
    // ratio against a silent reference of a signal beyond any real level,
    // reads as the largest one.
    auto reading = [](double v) { return std::min(v, std::numeric_limits<double>::max()); };
    m_frame.level = reading(m_inverted ? 1.0 / level : level);
    m_frame.peak = reading(m_inverted ? 1.0 / peak : peak);
}

// ---------------------------------------------------------------- process

namespace {

bool hasSamples(const CAudioChannel* c) { return c && c->buffer; }
const float* hostSamplesOf(const CAudioChannel* c) { return hasSamples(c) ? c->buffer.get()->hostSamples() : nullptr; }

}  // namespace

CErrorPtr CModMeter::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioModuleProcess::init(def, ctx));
    if (CAudioVizCollector* viz = ctx.vizCollector()) m_stream = viz->registerProducer(def);
    return nullptr;
}

std::unique_ptr<CAudioModule> CModMeter::createModule() const { return std::make_unique<CModMeterModule>(); }

void CModMeter::process(size_t n) {
    // A smooth update needs the generic path with its fade.
    if (m_def->isSmoothUpdate()) {
        CAudioModuleProcess::process(n);
        return;
    }
    const CAudioChannels& in = inputs[0];
    output.clear();
    if (moduleCount() != in.size()) return;
    auto auxOf = [&](size_t i) -> const CAudioChannel* {
        const CAudioChannel* aux = nullptr;
        for (const CAudioChannel& d : inputs[1])
            if (d.channel == in[i].channel) aux = &d;
        return aux;
    };
    for (size_t i = 0; i < in.size();) {
        auto& a = static_cast<CModMeterModule&>(module(i));
        auto* b = i + 1 < in.size() ? &static_cast<CModMeterModule&>(module(i + 1)) : nullptr;
        if (!b || !in[i].buffer || !in[i + 1].buffer || !CModMeterModule::pairable(a, *b)) {
            CAudioChannel out;
            out.channel = in[i].channel;
            out.group = in[i].group;
            processChannel(a, in[i], auxOf(i), out, n);
            output.push_back(std::move(out));
            ++i;
            continue;
        }
        const CAudioChannel *auxA = auxOf(i), *auxB = auxOf(i + 1);
        const double* xa = in[i].buffer.data();
        const double* xb = in[i + 1].buffer.data();
        // References that are host samples nobody has read are read as
        // they are, unless the other one is not.
        const float* ha = hostSamplesOf(auxA);
        const float* hb = hostSamplesOf(auxB);
        const bool host = (ha || hb) && (ha || !hasSamples(auxA)) && (hb || !hasSamples(auxB));
        const double* ra = !host && hasSamples(auxA) ? auxA->buffer.data() : nullptr;
        const double* rb = !host && hasSamples(auxB) ? auxB->buffer.data() : nullptr;
        for (size_t done = 0; done < n;) {
            const size_t used = host ? CModMeterModule::runPairHost(a, *b, xa + done, ha ? ha + done : nullptr,
                                                                    xb + done, hb ? hb + done : nullptr, n - done)
                                     : CModMeterModule::runPair(a, *b, xa + done, ra ? ra + done : nullptr, xb + done,
                                                                rb ? rb + done : nullptr, n - done);
            done += used;
            if (!m_stream) continue;
            if (a.frameReady()) m_stream->publish(in[i].channel, in[i].group, a.frame());
            if (b->frameReady()) m_stream->publish(in[i + 1].channel, in[i + 1].group, b->frame());
        }
        for (size_t j = i; j < i + 2; ++j) output.push_back(in[j]);
        i += 2;
    }
}

void CModMeter::processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux,
                               CAudioChannel& out, size_t n) {
    out.buffer = in.buffer;
    if (!in.buffer) return;
    auto& meter = static_cast<CModMeterModule&>(module);
    const double* x = in.buffer.data();
    const float* host = hostSamplesOf(aux);
    const double* ref = !host && hasSamples(aux) ? aux->buffer.data() : nullptr;
    for (size_t done = 0; done < n;) {
        done += host ? meter.runHost(x + done, host + done, n - done)
                     : meter.run(x + done, ref ? ref + done : nullptr, n - done);
        if (meter.frameReady() && m_stream) m_stream->publish(in.channel, in.group, meter.frame());
    }
}

}  // namespace zel
