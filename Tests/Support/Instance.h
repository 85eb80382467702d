// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "Audio/Param.h"
#include "Audio/ParamRegistry.h"
#include "Audio/ParamTransaction.h"
#include "Core/Application.h"
#include "Other/AudioInterfaceBase.h"

namespace zel {

// One plug-in instance tree as the wrapper builds it, with shortcuts to its
// parameters, registries and undo history.
struct CInstance {
    CObject root;
    CAudioParamCollector* collector = nullptr;

    CInstance() {
        EXPECT_EQ(CApplication::instance()->initRootObject(root), nullptr);
        CObject* plugin = nullptr;
        EXPECT_EQ(root.createChild("plugin", "plugin", plugin), nullptr);
        CErrorPtr err = root.init();
        EXPECT_EQ(err, nullptr) << (err ? err->describe() : "");
        collector = dynamic_cast<CAudioParamCollector*>(root.findObject("plugin.param-collector"));
    }

    CAudioParam& param(const char* name) {
        CAudioParam* p = collector->find(CString("plugin.modMain.") + name);
        if (!p) ADD_FAILURE() << "no parameter " << name;
        return *p;
    }
    CAudioParamRegistry& registry(const char* name = "param-registry") {
        return *dynamic_cast<CAudioParamRegistry*>(root.findObject(CString("plugin.") + name));
    }
    CAudioParamUndo& undo() {
        return dynamic_cast<CAudioInterfaceBase*>(root.findObject("plugin.interface-base"))->undo();
    }

    // Group g of a parameter as stored (defaults filled in up to `count`).
    std::vector<double> values(const char* name, size_t g = 0, size_t count = 0) {
        CAudioParam& p = param(name);
        std::vector<double> out;
        const size_t n = count ? count : p.storage().value().elementCount(g);
        for (size_t e = 0; e < n; ++e) out.push_back(p.storage().read(g, e));
        return out;
    }
    double value(const char* name, size_t g = 0, size_t e = 0) { return param(name).storage().read(g, e); }

    // A user edit of one run, recorded as one undo entry.
    void edit(const char* name, size_t g, size_t first, const std::vector<double>& v, const char* undoName = "Edit",
              long long mergeId = -1) {
        CAudioParamTransaction tx(*collector);
        tx.setElements(param(name), g, first, v);
        undo().push(tx.finish(undoName, mergeId >= 0, mergeId));
    }
};

}  // namespace zel
