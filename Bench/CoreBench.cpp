// SPDX-License-Identifier: GPL-3.0-or-later
// The runtime's hot spots, measured side by side: document loading, path
// lookups against direct child access, text decoding in both storage forms
// and compressed blocks.
#include <benchmark/benchmark.h>

#include <random>

#include "Core/Application.h"
#include "Core/MemoryStream.h"
#include "Core/ResourceReader.h"
#include "Core/XMLData.h"

using namespace zel;

namespace {

std::vector<uint8_t> sharedDocument() {
    const auto* e = CEmbeddedResourceMap::instance().find("SharedData.xml");
    return std::vector<uint8_t>(e->data, e->data + e->size);
}

void BM_LoadSharedDocument(benchmark::State& state) {
    const std::vector<uint8_t> bytes = sharedDocument();
    for (auto _ : state) {
        CObject root;
        CErrorPtr err = CXMLData::loadFromMemory("SharedData.xml", bytes, root);
        benchmark::DoNotOptimize(err);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
BENCHMARK(BM_LoadSharedDocument);

// A tree as deep and wide as an instance tree's parameter section.
struct CPathTree {
    CObject root;
    CObject* leaf = nullptr;
    CPathTree() {
        CObject* cur = &root;
        for (const char* name : {"plugin", "modMain", "modLagwell"}) {
            CObject* made = nullptr;
            for (int i = 0; i < 16; ++i)
                cur->createChild("core:object", ("sibling-" + std::to_string(i)).c_str(), made);
            cur->createChild("core:object", name, made);
            cur = made;
        }
        cur->createChild("core:object", "adelay", leaf);
    }
};

void BM_FindObjectByPath(benchmark::State& state) {
    CPathTree t;
    for (auto _ : state) benchmark::DoNotOptimize(t.root.findObject("plugin.modMain.modLagwell.adelay"));
}
BENCHMARK(BM_FindObjectByPath);

void BM_FindChildDirect(benchmark::State& state) {
    CPathTree t;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            t.root.findChild("plugin")->findChild("modMain")->findChild("modLagwell")->findChild("adelay"));
}
BENCHMARK(BM_FindChildDirect);

std::vector<uint8_t> encoded(const CString& text) {
    CMemoryWriter w;
    w.writeString(text);
    return w.take();
}

void readStrings(benchmark::State& state, const CString& text) {
    const std::vector<uint8_t> bytes = encoded(text);
    for (auto _ : state) {
        CMemoryReaderStatic r(bytes.data(), bytes.size());
        CString out;
        benchmark::DoNotOptimize(r.readString(out));
        benchmark::DoNotOptimize(out.length());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

void BM_ReadString8Bit(benchmark::State& state) {
    CString text;
    for (int i = 0; i < 4096; ++i) text.append(char16_t(i % 2 ? u'a' : u'\u00e9'));
    readStrings(state, text);
}
BENCHMARK(BM_ReadString8Bit);

void BM_ReadString16Bit(benchmark::State& state) {
    CString text;
    for (int i = 0; i < 4096; ++i) text.append(char16_t(i % 2 ? u'a' : u'\u20ac'));
    readStrings(state, text);
}
BENCHMARK(BM_ReadString16Bit);

void BM_CompressedBlockRoundTrip(benchmark::State& state) {
    std::vector<uint8_t> payload(size_t(state.range(0)));
    std::mt19937 rng(7);
    // Preset-like data: small values with some repetition.
    for (auto& b : payload) b = uint8_t(rng() % 16);
    for (auto _ : state) {
        CMemoryWriter w;
        w.writeCompressedData(makeTag("aprs"), payload.data(), payload.size());
        CMemoryReader r(w.take());
        std::vector<uint8_t> out;
        benchmark::DoNotOptimize(r.readCompressedData(makeTag("aprs"), out, SIZE_MAX));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(payload.size()));
}
BENCHMARK(BM_CompressedBlockRoundTrip)->Arg(8 << 10)->Arg(192 << 10);

}  // namespace

int main(int argc, char** argv) {
    if (CErrorPtr err = CApplication::start()) {
        std::fprintf(stderr, "%s\n", err->describe().c_str());
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CApplication::finish();
    return 0;
}
