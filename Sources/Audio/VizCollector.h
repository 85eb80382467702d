// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "Audio/VizData.h"
#include "Core/Object.h"

namespace zel {

class CAudioParam;
class CAudioParamCollector;

// The latest meter frame of each channel of one producing process, handed
// from the audio thread to the editor. Each channel is a sequence lock with
// one writer: the writer makes the count odd, stores the values and makes
// it even again; a reader keeps a copy only when it saw the same even count
// before and after copying. The writer never waits and never allocates; a
// reader that keeps losing the race gives up instead of holding the writer.
class CAudioVizMeterStream {
public:
    static constexpr size_t kMaxChannels = 16;
    static constexpr int kReadAttempts = 8;

    struct CFrame {
        CAudioVizDataMeter data;
        int group = 0;
        // Frames published on the channel so far; a reader that sees it
        // stand still knows the producer stopped.
        uint64_t index = 0;
    };

    explicit CAudioVizMeterStream(const CString& path) : m_path(path) {}

    const CString& path() const { return m_path; }

    // Audio thread. Channels beyond kMaxChannels are ignored.
    void publish(int channel, int group, const CAudioVizDataMeter& data);
    // Editor thread: false when the channel has published nothing yet, or
    // when every attempt overlapped a write.
    bool read(int channel, CFrame& out) const;

private:
    static_assert(std::atomic<double>::is_always_lock_free && std::atomic<uint64_t>::is_always_lock_free,
                  "the hand-over must not fall back to locks");

    // A cache line each, so that channels written together do not make
    // each other's readers retry.
    struct alignas(64) CCell {
        std::atomic<uint64_t> sequence{0};
        std::atomic<double> level{0.0};
        std::atomic<double> peak{0.0};
        std::atomic<int> group{0};
    };

    CString m_path;
    std::array<CCell, kMaxChannels> m_cells;
};

// `audio:viz-collector`: the instance's visualisation hub. At init it gives
// every meter process of `process-def` an enable parameter "<name>-enable"
// made from the template definition `enable-param-def`, beside the
// process's own parameters in the instance tree. Meter processes register
// under their run-time path ("plugin.modMain.modMeterOut") when the graph is
// built and publish into their stream; the editor side finds a stream by
// that path and reads it.
class CAudioVizCollector final : public CObject {
public:
    CErrorPtr init() override;

    // Build time: the stream of the process that `def` defines, made on
    // first use. Streams live as long as the collector.
    CAudioVizMeterStream* registerProducer(const CObject& def);
    // Editor side: null until a process registered `path`.
    const CAudioVizMeterStream* find(const CString& path) const;
    std::vector<CString> producerPaths() const;

    // The enable parameter of the producer at `path`, null when it has none.
    CAudioParam* enableParam(const CString& path) const;
    // Switches every producer on or off, posted to the audio thread like
    // any other change (not an undo step).
    void setActive(bool active);

    // Where the definition `def` lives in the instance tree: definitions of
    // the shared "audio" section are mirrored under the plug-in object.
    CString runTimePath(const CObject& def) const;

private:
    CAudioParamCollector* m_params = nullptr;
    CString m_audioPath;   // the shared section's full name
    CString m_pluginPath;  // the instance's plug-in object
    std::map<CString, CAudioParam*> m_enables;
    // Guards the map, not the streams: registration against editor lookups.
    mutable std::mutex m_lock;
    std::map<CString, std::unique_ptr<CAudioVizMeterStream>> m_streams;
};

}  // namespace zel
