// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Modules/ModMeter.h"

#include <algorithm>
#include <cmath>

#include "Audio/Converters/NumberText.h"
#include "Audio/VizCollector.h"

#define ZEL_SOURCE_TAG "ModMeter"

namespace zel {

namespace {

// The history never needs more than this many frames: the frame length F
// is at least round(rate / fps) and at least 32, so rate / F stays below
// 2 × fps at any rate, and H = round(T × rate / F) below 2 × T × fps.
size_t historyCapacityFor(double fps) {
    return size_t(std::ceil(2.0 * CModMeterModule::kMaxPeakTime * fps)) + 1;
}

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
    const double a = 1.0 - m_kInt, keep = 1.0 - m_kRel;
    m_keepStep = 1.0;
    for (size_t j = 1; j <= kStep; ++j) {
        m_decay[j] = m_decay[j - 1] * a;
        m_keepStep *= keep;
    }
    for (size_t i = 0; i < kStep; ++i) m_weight[i] = m_kInt * m_decay[kStep - 1 - i];

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

// The recurrences are linear in the level (m' = a m + k x², a = 1 − k) and
// max-affine in the follower (r' = max(m', keep r + (1 − keep) m')), so a
// step of kStep samples composes into one such map whose parts do not depend
// on the running values: each loop-carried chain advances by one multiply,
// add (and maximum) per kStep samples instead of per sample, and the
// per-sample work runs in parallel. Results differ from the sample-by-sample
// form only by rounding.
void CModMeterModule::integratePlain(const double* in, size_t n) {
    // The follower moves by (m − r) × k written as m + (r − m) × (1 − k), so
    // that k = 1 lands exactly on m.
    const double kInt = m_kInt, keep = 1.0 - m_kRel, rise = 1.0 - keep, a = m_decay[1];
    double m = m_m, r = m_r, f = m_f;
    auto sample = [&](double x) {
        const double x2 = x * x;
        m += (x2 - m) * kInt;
        r = std::max(m, m + (r - m) * keep);
        f = std::max(f, std::max(x2, r));
    };
    // Within a run, after its first sample, m stays below the largest of r
    // and the later x², and r below the largest of its first value and the
    // later m: the frame maximum needs only the first follower value and the
    // squares.
    size_t i = 0;
    if (n) sample(in[i++]);
    double top = 0.0;
    for (; i + kStep <= n; i += kStep) {
        double x2[kStep], level[kStep];
        double c = 0.0;
        for (size_t j = 0; j < kStep; ++j) {
            x2[j] = in[i + j] * in[i + j];
            top = std::max(top, x2[j]);
            c = c * a + kInt * x2[j];
            level[j] = m_decay[j + 1] * m + c;
        }
        // The follower over the step from 0 (rest) and its linear part (sum).
        double rest = 0.0, sum = 0.0;
        for (size_t j = 0; j < kStep; ++j) {
            const double pull = rise * level[j];
            sum = sum * keep + pull;
            rest = std::max(level[j], rest * keep + pull);
        }
        m = level[kStep - 1];
        r = std::max(rest, m_keepStep * r + sum);
    }
    for (; i < n; ++i) sample(in[i]);
    m_m = m;
    m_r = r;
    m_f = std::max(f, top);
}

void CModMeterModule::integrateDifference(const double* in, const double* ref, size_t n) {
    const double kInt = m_kInt, decay = m_decay[kStep];
    double m = m_m, mRef = m_mRef;
    size_t i = 0;
    for (; i + kStep <= n; i += kStep) {
        double sum = 0.0, sumRef = 0.0;
        for (size_t j = 0; j < kStep; ++j) {
            sum += m_weight[j] * (in[i + j] * in[i + j]);
            const double y = ref ? ref[i + j] : 0.0;
            sumRef += m_weight[j] * (y * y);
        }
        m = decay * m + sum;
        mRef = decay * mRef + sumRef;
    }
    for (; i < n; ++i) {
        m += (in[i] * in[i] - m) * kInt;
        const double y = ref ? ref[i] : 0.0;
        mRef += (y * y - mRef) * kInt;
    }
    m_m = m;
    m_mRef = mRef;
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

size_t CModMeterModule::run(const double* in, const double* ref, size_t n) {
    const size_t todo = std::min(n, m_frameLength - m_framePos);
    switch (m_routine) {
        case kPlain: integratePlain(in, todo); break;
        case kMinimum: integrateMinimum(in, todo); break;
        case kDifference: integrateDifference(in, ref, todo); break;
    }
    m_framePos += todo;
    m_frameReady = m_framePos == m_frameLength;
    if (m_frameReady) endFrame();
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
    m_frame.level = m_inverted ? 1.0 / level : level;
    m_frame.peak = m_inverted ? 1.0 / peak : peak;
}

// ---------------------------------------------------------------- process

CErrorPtr CModMeter::init(const CAudioProcessDefBase& def, CAudioGraphContext& ctx) {
    ZEL_TRY(CAudioModuleProcess::init(def, ctx));
    if (CAudioVizCollector* viz = ctx.vizCollector()) m_stream = viz->registerProducer(def);
    return nullptr;
}

std::unique_ptr<CAudioModule> CModMeter::createModule() const { return std::make_unique<CModMeterModule>(); }

void CModMeter::processChannel(CAudioModule& module, const CAudioChannel& in, const CAudioChannel* aux,
                               CAudioChannel& out, size_t n) {
    out.buffer = in.buffer;
    if (!in.buffer) return;
    auto& meter = static_cast<CModMeterModule&>(module);
    const double* x = in.buffer.data();
    const double* ref = aux && aux->buffer ? aux->buffer.data() : nullptr;
    for (size_t done = 0; done < n;) {
        done += meter.run(x + done, ref ? ref + done : nullptr, n - done);
        if (meter.frameReady() && m_stream) m_stream->publish(in.channel, in.group, meter.frame());
    }
}

}  // namespace zel
