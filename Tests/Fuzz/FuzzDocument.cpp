// SPDX-License-Identifier: GPL-3.0-or-later
// Builds object trees from arbitrary compiled documents: every input either
// builds and initialises or fails with an error record.
#include <cstdlib>
#include <vector>

#include "Core/ClassRegistry.h"
#include "Core/Object.h"
#include "Core/XMLData.h"

using namespace zel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    size_t count = 0;
    const CClassEntry* table = classTable(count);
    if (CClassRegistry::instance().registerAll(table, count)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CObject root;
    CErrorPtr err = CXMLData::loadFromMemory("fuzz", std::vector<uint8_t>(data, data + size), root);
    if (err) {
        if (err->text().empty()) std::abort();
        return 0;
    }
    CErrorPtr initErr = root.init();
    if (initErr && initErr->text().empty()) std::abort();
    // Every template the document declares must instantiate or fail cleanly.
    for (const auto& entry : root.templates()) {
        CObject* made = nullptr;
        CErrorPtr e = root.createFromTemplate(entry.first, "t", made);
        if (!e && !made) std::abort();
    }
    return 0;
}
