// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/AttrDoubler.h"
#include "Core/ClassRegistry.h"
#include "Core/Object.h"
#include "Core/SharedAttribute.h"
#include "Core/Timer.h"

namespace zel {

namespace {
// Sorted by tag; every class the documents may name has one row.
const CClassEntry kClassTable[] = {
    {"core:attr-doubler", &createObject<CAttrDoubler>, &CAttrDoubler::setupClass},
    {"core:object", &createObject<CObject>, &setupObjectClass},
    {"core:shared-attribute", &createObject<CSharedAttribute>, &setupObjectClass},
    {"core:timer", &createObject<CTimer>, &CTimer::setupClass},
};
}  // namespace

const CClassEntry* classTable(size_t& count) {
    count = sizeof kClassTable / sizeof kClassTable[0];
    return kClassTable;
}

}  // namespace zel
