// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/Param.h"

#include "Core/Application.h"

#define ZEL_SOURCE_TAG "Param"

namespace zel {

CAudioParam::CAudioParam(const CAudioParamDef& def) : m_def(def), m_storage(def.info()) {
    m_storage.setDefault();
}

CErrorPtr CAudioParamCollector::init() {
    ZEL_TRY(CObject::init());
    // The instance's plug-in object is the collector's parent; its name is
    // what the shared "audio" section calls the plug-in tag.
    CObject* plugin = parent();
    const CObject* audio = CApplication::sharedObject() ? CApplication::sharedObject()->findChild("audio") : nullptr;
    if (!plugin || !audio)
        return ZEL_ERROR("@zelstr_CAudioParamCollector_init_NoDefinitions No parameter definitions available.");
    m_params.clear();
    ZEL_TRY(findObjectChecked("^audio-env", m_env));
    ZEL_TRY(mirror(*audio, *plugin));
    return nullptr;
}

void CAudioParamCollector::post(const CAudioParamChangeSet& changes) {
    std::lock_guard<std::mutex> lock(m_env->lock());
    m_pending.merge(changes);
}

void CAudioParamCollector::takePending(CAudioParamChangeSet& out) {
    out.clear();
    out.merge(m_pending);
    m_pending.clear();
}

CErrorPtr CAudioParamCollector::mirror(const CObject& defs, CObject& target) {
    for (const auto& child : defs.children()) {
        if (auto* def = dynamic_cast<const CAudioParamDef*>(child.get())) {
            if (target.findChild(def->name())) continue;
            auto param = std::make_unique<CAudioParam>(*def);
            param->setName(def->name());
            CAudioParam* raw = param.get();
            ZEL_TRY(target.addChild(std::move(param)));
            m_params[raw->fullName()] = raw;
            continue;
        }
        if (child->children().empty() || child->name().empty()) continue;
        // Converters and other shared objects are not parameters; only
        // containers that hold parameters somewhere below are mirrored.
        CObject* node = target.findChild(child->name());
        std::unique_ptr<CObject> made;
        if (!node) {
            made = std::make_unique<CObject>();
            made->setName(child->name());
            node = made.get();
            ZEL_TRY(target.addChild(std::move(made)));
        }
        const size_t before = m_params.size();
        ZEL_TRY(mirror(*child, *node));
        if (m_params.size() == before && node->children().empty()) target.removeChild(node);
    }
    return nullptr;
}

CAudioParam* CAudioParamCollector::find(const CString& fullName) const {
    auto it = m_params.find(fullName);
    return it == m_params.end() ? nullptr : it->second;
}

}  // namespace zel
