// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "Audio/Engine/AudioParamSlot.h"

using namespace zel;

namespace {

struct CCopy {
    CAudioParamInfo info;
    std::unique_ptr<CAudioParamCopy> copy;

    explicit CCopy(bool singleGroup) {
        info.defaultValue.set(0, 0, 0, 0.5);
        info.isSingleGroup = singleGroup;
        copy = std::make_unique<CAudioParamCopy>(info);
    }
    void set(size_t group, double v) { copy->setGroup(group, &v, 1); }
};

}  // namespace

// What a process asks every block: did the value its module reads change?
// A slot watching one group hears that group alone, unless the parameter has
// one group for all or the slot reads every group; slots copied from
// another (as the modules of a process share their first one's) watch on
// their own.
TEST(ParamSlot, ChangesCountForTheWatchedGroupOnly) {
    CCopy multi(false), single(true);
    CAudioParamSlot group1, everyGroup, singleGroup;
    group1.bind(multi.copy.get(), false, false);
    everyGroup.bind(multi.copy.get(), true, false);
    singleGroup.bind(single.copy.get(), false, false);
    for (CAudioParamSlot* s : {&group1, &everyGroup, &singleGroup}) {
        s->watchGroup(1);
        EXPECT_TRUE(s->changed()) << "a fresh slot counts as changed once";
        s->markSeen();
        EXPECT_FALSE(s->changed());
    }
    CAudioParamSlot group3 = group1;
    group3.watchGroup(3);
    group3.markSeen();

    multi.set(0, 0.25);
    single.set(0, 0.25);
    EXPECT_FALSE(group1.changed()) << "another group's change";
    EXPECT_FALSE(group3.changed());
    EXPECT_TRUE(everyGroup.changed());
    EXPECT_TRUE(singleGroup.changed()) << "one value for every group";

    multi.set(1, 0.75);
    EXPECT_TRUE(group1.changed());
    EXPECT_FALSE(group3.changed()) << "the copy watches its own group";
    EXPECT_EQ(group1.read(1, 0, -1.0), 0.75);
    group1.markSeen();
    EXPECT_FALSE(group1.changed());
    multi.copy->setComponent(1, 2, 0, 0.1);
    EXPECT_TRUE(group1.changed()) << "a single component counts too";

    group1.bind(single.copy.get(), false, false);
    EXPECT_TRUE(group1.changed()) << "a new binding counts as a change";
    CAudioParamSlot unbound;
    EXPECT_TRUE(unbound.changed());
    unbound.watchGroup(2);
    unbound.markSeen();
    EXPECT_FALSE(unbound.changed());
    EXPECT_EQ(unbound.read(2, 0, -1.0), -1.0);
}
