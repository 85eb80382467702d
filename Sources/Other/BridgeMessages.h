// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <utility>
#include <vector>

#include "Core/Stream.h"

namespace zel::bridge {

// The messages between an editor's interface client and the instance's
// interface base. A message block is the name (a string) followed by the
// fields of its layout below; both ends read and write a message only
// through these layouts.
//
// Parameters and registries are addressed by handles that the client picks:
// the client's identity in the high 16 bits, a number of its own below.

// ---- client to base
constexpr const char* kCreateUndoData = "create-undo-data";                   // CCreateUndoData
constexpr const char* kRemoveUndoData = "remove-undo-data";                   // no fields
constexpr const char* kSubmitUndoData = "submit-undo-data";                   // no fields
constexpr const char* kRequestUndoHistory = "request-undo-history";           // no fields
constexpr const char* kSetUndoHistoryPos = "set-undo-history-pos";            // CCount: the position
constexpr const char* kListenParam = "listen-param";                          // CListen: the parameter's full name
constexpr const char* kUnlistenParam = "unlisten-param";                      // CHandle
constexpr const char* kChangeParam = "change-param";                          // CChangeParam
constexpr const char* kResetParam = "reset-param";                            // CResetParam
constexpr const char* kListenRegistry = "listen-registry";                    // CListen: the registry's object name
constexpr const char* kUnlistenRegistry = "unlisten-registry";                // CHandle
constexpr const char* kSetCurrentProgram = "set-current-program";             // CProgram
constexpr const char* kRenamePreset = "rename-preset";                        // CRenamePreset
constexpr const char* kActivateFactoryPreset = "activate-factory-preset";     // CProgram: the ROM index
constexpr const char* kActivatePreset = "activate-preset";                    // CActivatePreset
constexpr const char* kRequestPreset = "request-preset";                      // CRequestPreset
constexpr const char* kRequestBank = "request-bank";                          // CHandle
constexpr const char* kSetDefaultPreset = "set-default-preset";               // CPresetRecord
constexpr const char* kActivateDefaultPreset = "activate-default-preset";     // CHandle
constexpr const char* kExchangeShadowPreset = "exchange-shadow-preset";       // CHandle
constexpr const char* kUpdateShadowPreset = "update-shadow-preset";           // CHandle
constexpr const char* kListenViz = "listen-viz";                              // no fields
constexpr const char* kUnlistenViz = "unlisten-viz";                          // no fields
constexpr const char* kRequestVizData = "request-viz-data";                   // no fields
constexpr const char* kRequestExportSlotNames = "request-export-slot-names";  // no fields
constexpr const char* kRequestInternalChannelCount = "request-internal-channel-count";  // no fields
constexpr const char* kRequestGroupCount = "request-group-count";                       // no fields
constexpr const char* kRequestIOChannelCounts = "request-io-channel-counts";            // no fields
constexpr const char* kRequestSampleRate = "request-sample-rate";                       // no fields
// Once per editor frame: the changes of what the client listens to since
// the last frame, as "update-param" and "update-registry".
constexpr const char* kRequestUpdates = "request-updates";  // no fields

// ---- base to client
constexpr const char* kUpdateUndoHistory = "update-undo-history";                     // CUndoHistory
constexpr const char* kUpdateParamInfo = "update-param-info";                         // CParamInfo
constexpr const char* kUpdateParam = "update-param";                                  // CUpdateParam
constexpr const char* kUpdateRegistry = "update-registry";                            // CRegistryState
constexpr const char* kRegistryData = "registry-data";                                // CRegistryData
constexpr const char* kStartViz = "start-viz";                                        // no fields
constexpr const char* kStopViz = "stop-viz";                                          // no fields
constexpr const char* kVizData = "viz-data";                                          // CVizData
constexpr const char* kClearClient = "clear-client";                                  // no fields
constexpr const char* kUpdateInternalChannelCount = "update-internal-channel-count";  // CCount
constexpr const char* kUpdateGroupCount = "update-group-count";                       // CCount
constexpr const char* kUpdateIOChannelCounts = "update-io-channel-counts";            // CIOChannelCounts
constexpr const char* kUpdateSampleRate = "update-sample-rate";                       // CSampleRate
constexpr const char* kExportSlotNames = "export-slot-names";                         // CTexts

// ---- both ways: the host's input channel labels (CTexts)
constexpr const char* kImportChannelLabels = "import-channel-labels";

// Messages grow in a sequential buffer of blocks of this size.
constexpr size_t kBlockSize = 256;
// Preset and bank records in a message; far above a full session bank.
constexpr uint32_t kMaxRecordBytes = 64u << 20;

// A field layout; the name is given when the block is built.
class CFields {
public:
    virtual ~CFields() = default;
    virtual CErrorPtr write(COutputStream& out) const = 0;
    // Reads the fields from the current position to the end of the block.
    virtual CErrorPtr read(CPosInputStream& in) = 0;
};

// The whole block: name, then fields.
CErrorPtr encode(const char* name, const CFields& fields, std::vector<uint8_t>& block);
// A message without fields.
CErrorPtr encode(const char* name, std::vector<uint8_t>& block);

// The message handlers of one end, by message name.
template <class T>
class CDispatchTable {
public:
    using CHandler = CErrorPtr (T::*)(CPosInputStream& fields);

    CDispatchTable(std::initializer_list<std::pair<const CString, CHandler>> rows) : m_rows(rows) {}
    // Null when the table has no handler for `name`.
    CHandler find(const CString& name) const {
        auto it = m_rows.find(name);
        return it == m_rows.end() ? nullptr : it->second;
    }

private:
    std::map<CString, CHandler> m_rows;
};

struct CHandle final : CFields {
    uint32_t handle = 0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

struct CCount final : CFields {
    uint32_t count = 0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `name` (empty: the entry is named after the first changed parameter),
// `mergeId` (u32; 0: none).
struct CCreateUndoData final : CFields {
    CString name;
    uint32_t mergeId = 0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `name` (string), `handle` (u32).
struct CListen final : CFields {
    CString name;
    uint32_t handle = 0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// A change outside an open undo record is an undo entry of its own when
// its undo id is not kNoUndo; consecutive entries of one undo id merge.
constexpr uint32_t kNoUndo = 0;

// `handle` (u32), `undoId` (u32), then the value slice record (to the end).
struct CChangeParam final : CFields {
    uint32_t handle = 0;
    uint32_t undoId = kNoUndo;
    std::vector<uint8_t> slice;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), `undoId` (u32).
struct CResetParam final : CFields {
    uint32_t handle = 0;
    uint32_t undoId = kNoUndo;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), then the value slice record (to the end).
struct CUpdateParam final : CFields {
    uint32_t handle = 0;
    std::vector<uint8_t> slice;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), `index` (i32).
struct CProgram final : CFields {
    uint32_t handle = 0;
    int32_t index = 0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), the current program's new display name (string).
struct CRenamePreset final : CFields {
    uint32_t handle = 0;
    CString name;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), `group` (i32; -1: all groups), the preset record (u32
// byte count, bytes).
struct CActivatePreset final : CFields {
    uint32_t handle = 0;
    int32_t group = -1;
    std::vector<uint8_t> record;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), the preset record (u32 byte count, bytes).
struct CPresetRecord final : CFields {
    uint32_t handle = 0;
    std::vector<uint8_t> record;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), `fromRom` (u32, 0 or 1), `index` (i32; -1: the current
// program on the master, all groups elsewhere).
struct CRequestPreset final : CFields {
    uint32_t handle = 0;
    bool fromRom = false;
    int32_t index = -1;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `position` (u32), entry count (u32), the entry names (strings).
struct CUndoHistory final : CFields {
    uint32_t position = 0;
    std::vector<CString> names;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), definition full name (string), visual name (string),
// element size (u32), data type (u32), flags (u32), component count C
// (u32), C × (minimum, maximum) (doubles), state count S (u32), S × (name,
// short name) (strings).
struct CParamInfo final : CFields {
    static constexpr uint32_t kSingleGroup = 1;
    static constexpr uint32_t kSingleElement = 2;

    uint32_t handle = 0;
    CString definition;
    CString visualName;
    uint32_t elementSize = 1;
    uint32_t dataType = 0;
    uint32_t flags = 0;
    std::vector<double> minValues;
    std::vector<double> maxValues;
    std::vector<CString> stateNames;
    std::vector<CString> stateShortNames;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), registry id (string), current program (i32; -1 for a
// registry without programs), program count (u32), the program display
// names (strings).
struct CRegistryState final : CFields {
    uint32_t handle = 0;
    CString id;
    int32_t currentProgram = -1;
    std::vector<CString> programs;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// `handle` (u32), `kind` (u32), the record (u32 byte count, bytes).
struct CRegistryData final : CFields {
    enum EKind : uint32_t { kPreset = 0, kBank = 1 };
    uint32_t handle = 0;
    uint32_t kind = kPreset;
    std::vector<uint8_t> record;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// Count (u32), then the texts (strings).
struct CTexts final : CFields {
    std::vector<CString> texts;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// Host inputs, host outputs, side-chain inputs (u32 each).
struct CIOChannelCounts final : CFields {
    uint32_t inputs = 0;
    uint32_t outputs = 0;
    uint32_t sidechain = 0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// The sample rate (double).
struct CSampleRate final : CFields {
    double rate = 0.0;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

// Stream count (u32); per stream its producer path (string), frame count
// (u32) and per frame: channel (u32), group (i32), the number of frames the
// channel published so far (u32, wrapping; a reader that sees it stand still
// knows the producer stopped), level and peak (doubles, the meter data
// layout).
struct CVizData final : CFields {
    struct CFrame {
        uint32_t channel = 0;
        int32_t group = 0;
        uint32_t index = 0;
        double level = 0.0;
        double peak = 0.0;
    };
    struct CStream {
        CString path;
        std::vector<CFrame> frames;
    };
    std::vector<CStream> streams;
    CErrorPtr write(COutputStream& out) const override;
    CErrorPtr read(CPosInputStream& in) override;
};

}  // namespace zel::bridge
