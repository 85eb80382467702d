// SPDX-License-Identifier: GPL-3.0-or-later
#include "Other/BridgeMessages.h"

#include <algorithm>

#include "Audio/VizData.h"
#include "Core/MemoryStream.h"

#define ZEL_SOURCE_TAG "BridgeMessages"

namespace zel::bridge {

namespace {

CErrorPtr finish(const CWriteSeqBuffer& buffer, std::vector<uint8_t>& block) {
    CMemoryWriter bytes;
    ZEL_TRY(buffer.writeTo(bytes));
    block = bytes.take();
    return nullptr;
}

CErrorPtr readRest(CPosInputStream& in, std::vector<uint8_t>& out) {
    uint64_t pos, size;
    ZEL_TRY(in.getPosition(pos));
    ZEL_TRY(in.getSize(size));
    out.resize(size_t(size - pos));
    if (!out.empty()) ZEL_TRY(in.read(out.data(), out.size()));
    return nullptr;
}

CErrorPtr writeBytes(COutputStream& out, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) ZEL_TRY(out.write(bytes.data(), bytes.size()));
    return nullptr;
}

CErrorPtr writeTexts(COutputStream& out, const std::vector<CString>& texts) {
    ZEL_TRY(out.writeUInt32(uint32_t(texts.size())));
    for (const CString& t : texts) ZEL_TRY(out.writeString(t));
    return nullptr;
}

// No reservation from the count: a corrupt count ends at the block's end.
CErrorPtr readTexts(CInputStream& in, std::vector<CString>& texts) {
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    texts.clear();
    for (uint32_t i = 0; i < count; ++i) {
        CString t;
        ZEL_TRY(in.readString(t));
        texts.push_back(std::move(t));
    }
    return nullptr;
}

CErrorPtr writeRecord(COutputStream& out, const std::vector<uint8_t>& record) {
    ZEL_TRY(out.writeBlock(record.data(), uint32_t(record.size())));
    return nullptr;
}

}  // namespace

CErrorPtr encode(const char* name, const CFields& fields, std::vector<uint8_t>& block) {
    CWriteSeqBuffer buffer(kBlockSize);
    ZEL_TRY(buffer.writeString(name));
    ZEL_TRY(fields.write(buffer));
    ZEL_TRY(finish(buffer, block));
    return nullptr;
}

CErrorPtr encode(const char* name, std::vector<uint8_t>& block) {
    CWriteSeqBuffer buffer(kBlockSize);
    ZEL_TRY(buffer.writeString(name));
    ZEL_TRY(finish(buffer, block));
    return nullptr;
}

CErrorPtr CHandle::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    return nullptr;
}

CErrorPtr CHandle::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    return nullptr;
}

CErrorPtr CCount::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(count));
    return nullptr;
}

CErrorPtr CCount::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(count));
    return nullptr;
}

CErrorPtr CCreateUndoData::write(COutputStream& out) const {
    ZEL_TRY(out.writeString(name));
    ZEL_TRY(out.writeUInt32(mergeId));
    return nullptr;
}

CErrorPtr CCreateUndoData::read(CPosInputStream& in) {
    ZEL_TRY(in.readString(name));
    ZEL_TRY(in.readUInt32(mergeId));
    return nullptr;
}

CErrorPtr CListen::write(COutputStream& out) const {
    ZEL_TRY(out.writeString(name));
    ZEL_TRY(out.writeUInt32(handle));
    return nullptr;
}

CErrorPtr CListen::read(CPosInputStream& in) {
    ZEL_TRY(in.readString(name));
    ZEL_TRY(in.readUInt32(handle));
    return nullptr;
}

CErrorPtr CChangeParam::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeUInt32(undoId));
    ZEL_TRY(writeBytes(out, slice));
    return nullptr;
}

CErrorPtr CChangeParam::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readUInt32(undoId));
    ZEL_TRY(readRest(in, slice));
    return nullptr;
}

CErrorPtr CResetParam::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeUInt32(undoId));
    return nullptr;
}

CErrorPtr CResetParam::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readUInt32(undoId));
    return nullptr;
}

CErrorPtr CUpdateParam::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(writeBytes(out, slice));
    return nullptr;
}

CErrorPtr CUpdateParam::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(readRest(in, slice));
    return nullptr;
}

CErrorPtr CProgram::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeInt32(index));
    return nullptr;
}

CErrorPtr CProgram::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readInt32(index));
    return nullptr;
}

CErrorPtr CRenamePreset::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeString(name));
    return nullptr;
}

CErrorPtr CRenamePreset::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readString(name));
    return nullptr;
}

CErrorPtr CActivatePreset::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeInt32(group));
    ZEL_TRY(writeRecord(out, record));
    return nullptr;
}

CErrorPtr CActivatePreset::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readInt32(group));
    ZEL_TRY(in.readBlock(record, kMaxRecordBytes));
    return nullptr;
}

CErrorPtr CPresetRecord::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(writeRecord(out, record));
    return nullptr;
}

CErrorPtr CPresetRecord::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readBlock(record, kMaxRecordBytes));
    return nullptr;
}

CErrorPtr CRequestPreset::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeUInt32(fromRom ? 1 : 0));
    ZEL_TRY(out.writeInt32(index));
    return nullptr;
}

CErrorPtr CRequestPreset::read(CPosInputStream& in) {
    uint32_t rom;
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readUInt32(rom));
    ZEL_TRY(in.readInt32(index));
    fromRom = rom != 0;
    return nullptr;
}

CErrorPtr CUndoHistory::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(position));
    ZEL_TRY(writeTexts(out, names));
    return nullptr;
}

CErrorPtr CUndoHistory::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(position));
    ZEL_TRY(readTexts(in, names));
    return nullptr;
}

CErrorPtr CParamInfo::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeString(definition));
    ZEL_TRY(out.writeString(visualName));
    ZEL_TRY(out.writeUInt32(elementSize));
    ZEL_TRY(out.writeUInt32(dataType));
    ZEL_TRY(out.writeUInt32(flags));
    const size_t components = std::min(minValues.size(), maxValues.size());
    ZEL_TRY(out.writeUInt32(uint32_t(components)));
    for (size_t c = 0; c < components; ++c) {
        ZEL_TRY(out.writeReal(minValues[c]));
        ZEL_TRY(out.writeReal(maxValues[c]));
    }
    const size_t states = std::min(stateNames.size(), stateShortNames.size());
    ZEL_TRY(out.writeUInt32(uint32_t(states)));
    for (size_t s = 0; s < states; ++s) {
        ZEL_TRY(out.writeString(stateNames[s]));
        ZEL_TRY(out.writeString(stateShortNames[s]));
    }
    return nullptr;
}

CErrorPtr CParamInfo::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readString(definition));
    ZEL_TRY(in.readString(visualName));
    ZEL_TRY(in.readUInt32(elementSize));
    ZEL_TRY(in.readUInt32(dataType));
    ZEL_TRY(in.readUInt32(flags));
    uint32_t components;
    ZEL_TRY(in.readUInt32(components));
    minValues.clear();
    maxValues.clear();
    for (uint32_t c = 0; c < components; ++c) {
        double lo, hi;
        ZEL_TRY(in.readReal(lo));
        ZEL_TRY(in.readReal(hi));
        minValues.push_back(lo);
        maxValues.push_back(hi);
    }
    uint32_t states;
    ZEL_TRY(in.readUInt32(states));
    stateNames.clear();
    stateShortNames.clear();
    for (uint32_t s = 0; s < states; ++s) {
        CString full, brief;
        ZEL_TRY(in.readString(full));
        ZEL_TRY(in.readString(brief));
        stateNames.push_back(std::move(full));
        stateShortNames.push_back(std::move(brief));
    }
    return nullptr;
}

CErrorPtr CRegistryState::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeString(id));
    ZEL_TRY(out.writeInt32(currentProgram));
    ZEL_TRY(writeTexts(out, programs));
    return nullptr;
}

CErrorPtr CRegistryState::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readString(id));
    ZEL_TRY(in.readInt32(currentProgram));
    ZEL_TRY(readTexts(in, programs));
    return nullptr;
}

CErrorPtr CRegistryData::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(handle));
    ZEL_TRY(out.writeUInt32(kind));
    ZEL_TRY(writeRecord(out, record));
    return nullptr;
}

CErrorPtr CRegistryData::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(handle));
    ZEL_TRY(in.readUInt32(kind));
    ZEL_TRY(in.readBlock(record, kMaxRecordBytes));
    return nullptr;
}

CErrorPtr CTexts::write(COutputStream& out) const {
    ZEL_TRY(writeTexts(out, texts));
    return nullptr;
}

CErrorPtr CTexts::read(CPosInputStream& in) {
    ZEL_TRY(readTexts(in, texts));
    return nullptr;
}

CErrorPtr CIOChannelCounts::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(inputs));
    ZEL_TRY(out.writeUInt32(outputs));
    ZEL_TRY(out.writeUInt32(sidechain));
    return nullptr;
}

CErrorPtr CIOChannelCounts::read(CPosInputStream& in) {
    ZEL_TRY(in.readUInt32(inputs));
    ZEL_TRY(in.readUInt32(outputs));
    ZEL_TRY(in.readUInt32(sidechain));
    return nullptr;
}

CErrorPtr CSampleRate::write(COutputStream& out) const {
    ZEL_TRY(out.writeReal(rate));
    return nullptr;
}

CErrorPtr CSampleRate::read(CPosInputStream& in) {
    ZEL_TRY(in.readReal(rate));
    return nullptr;
}

CErrorPtr CVizData::write(COutputStream& out) const {
    ZEL_TRY(out.writeUInt32(uint32_t(streams.size())));
    for (const CStream& s : streams) {
        ZEL_TRY(out.writeString(s.path));
        ZEL_TRY(out.writeUInt32(uint32_t(s.frames.size())));
        for (const CFrame& f : s.frames) {
            ZEL_TRY(out.writeUInt32(f.channel));
            ZEL_TRY(out.writeInt32(f.group));
            ZEL_TRY(out.writeUInt32(f.index));
            ZEL_TRY(CAudioVizDataMeter(f.level, f.peak).write(out));
        }
    }
    return nullptr;
}

CErrorPtr CVizData::read(CPosInputStream& in) {
    uint32_t count;
    ZEL_TRY(in.readUInt32(count));
    streams.clear();
    for (uint32_t i = 0; i < count; ++i) {
        CStream s;
        uint32_t frames;
        ZEL_TRY(in.readString(s.path));
        ZEL_TRY(in.readUInt32(frames));
        for (uint32_t j = 0; j < frames; ++j) {
            CFrame f;
            CAudioVizDataMeter meter;
            ZEL_TRY(in.readUInt32(f.channel));
            ZEL_TRY(in.readInt32(f.group));
            ZEL_TRY(in.readUInt32(f.index));
            ZEL_TRY(meter.read(in));
            f.level = meter.level;
            f.peak = meter.peak;
            s.frames.push_back(f);
        }
        streams.push_back(std::move(s));
    }
    return nullptr;
}

}  // namespace zel::bridge
