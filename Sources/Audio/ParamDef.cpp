// SPDX-License-Identifier: GPL-3.0-or-later
#include "Audio/ParamDef.h"

#include <algorithm>

#include "Audio/Converters/ParamConverter.h"
#include "Audio/Param.h"

#define ZEL_SOURCE_TAG "ParamDef"

namespace zel {

std::vector<CString> splitText(const CString& text, char16_t separator) {
    std::vector<CString> out;
    size_t start = 0;
    for (;;) {
        const size_t at = text.find(separator, start);
        out.push_back(text.substr(start, at == CString::npos ? CString::npos : at - start));
        if (at == CString::npos) break;
        start = at + 1;
    }
    return out;
}

CString trimText(const CString& text) {
    auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
    size_t b = 0, e = text.length();
    while (b < e && blank(text.at(b))) ++b;
    while (e > b && blank(text.at(e - 1))) --e;
    return text.substr(b, e - b);
}

// ---------------------------------------------------------------- CAudioParamDef

CErrorPtr CAudioParamDef::init() {
    ZEL_TRY(CObject::init());
    m_info = CAudioParamInfo();
    long long elementSize = 1;
    if (hasAttr("element-size") && !getAttr("element-size").empty() && !readInt("element-size", elementSize))
        elementSize = 0;
    if (elementSize < 1) return ZEL_ERROR("Invalid element size %1 specified.", getAttr("element-size"));
    const CString dataType = getAttr("data-type");
    m_info.dataType = dataType == "string" || dataType == "1" ? CAudioParamInfo::kString
                      : dataType == "raw"                     ? CAudioParamInfo::kRaw
                                                              : CAudioParamInfo::kFloat;
    if (m_info.dataType != CAudioParamInfo::kFloat && elementSize != 1)
        return ZEL_ERROR("Invalid element size %1 for non-float data specified.", elementSize);
    m_info.elementSize = static_cast<unsigned>(elementSize);
    m_info.isSingleGroup = getBool("is-single-group", false);
    m_info.isSingleElement = getBool("is-single-element", false);
    m_info.isStorable = getBool("is-storable", false);
    m_info.isPersistent = getBool("is-persistent", false);
    m_info.isGlobal = getBool("is-global", false);
    m_info.visualName = getAttr("visual-name");

    ZEL_TRY(readConverters());
    ZEL_TRY(readStateNames());
    ZEL_TRY(readRange("min-values", m_info.minValues, false));
    ZEL_TRY(readRange("max-values", m_info.maxValues, true));
    if (m_info.dataType == CAudioParamInfo::kFloat)
        for (unsigned c = 0; c < m_info.elementSize; ++c)
            if (m_info.minValues[c] == m_info.maxValues[c])
                return ZEL_ERROR("Zero default min-max values difference detected in element %1.", c);

    if (!hasAttr("def-values")) return ZEL_ERROR("No default values specified.");
    ZEL_TRY(parseValues(m_info, getAttr("def-values")));
    if (m_info.dataType == CAudioParamInfo::kFloat) {
        CAudioParamValue& def = m_info.defaultValue;
        for (size_t g = 0; g < def.groupCount(); ++g)
            for (size_t i = 0; i < def.group(g).size(); ++i) {
                const size_t c = i % m_info.elementSize;
                const double lo = std::min(m_info.minValues[c], m_info.maxValues[c]);
                const double hi = std::max(m_info.minValues[c], m_info.maxValues[c]);
                def.group(g)[i] = std::clamp(def.group(g)[i], lo, hi);
            }
    }
    return nullptr;
}

CErrorPtr CAudioParamDef::readConverters() {
    static const char* const kAttrs[] = {"converter", "converter2", "converter3", "converter4"};
    for (const char* attr : kAttrs) {
        const CString path = getAttr(attr);
        if (path.empty()) continue;
        auto* cvt = dynamic_cast<CAudioParamConverter*>(findObject(path));
        if (!cvt) return ZEL_ERROR("Audio parameter converter '%1' not found.", path);
        m_info.converters.push_back(cvt);
    }
    if (m_info.converters.size() < m_info.elementSize)
        return ZEL_ERROR("Not enough converters defined %1 (should be %2).",
                         static_cast<unsigned long long>(m_info.converters.size()), m_info.elementSize);
    return nullptr;
}

CErrorPtr CAudioParamDef::readStateNames() {
    const CString names = getAttr("state-names");
    if (names.empty()) return nullptr;
    for (const CString& name : splitText(names, u';')) {
        m_info.stateNames.push_back(name);
        m_info.stateShortNames.push_back(CAudioParamConverterEnum::shortName(name));
    }
    const bool anyData =
        std::any_of(m_info.stateNames.begin(), m_info.stateNames.end(), [](const CString& n) { return !n.empty(); });
    if (!anyData) {
        m_info.stateNames.clear();
        m_info.stateShortNames.clear();
        return ZEL_ERROR("No state names data available in '%1'.", fullName());
    }
    return nullptr;
}

CErrorPtr CAudioParamDef::readRange(const char* attr, std::vector<double>& out, bool isMax) {
    std::vector<CString> tokens;
    for (const CString& t : splitText(getAttr(attr), u' '))
        if (!t.empty()) tokens.push_back(t);
    for (size_t c = 0; c < tokens.size() && c < m_info.elementSize; ++c) {
        bool ok = false;
        const double v = m_info.converters[c]->textToPlain(m_info, c, tokens[c], &ok);
        if (!ok) break;
        out.push_back(v);
    }
    if (out.size() >= m_info.elementSize) return nullptr;
    if (m_info.dataType != CAudioParamInfo::kFloat && tokens.empty()) {
        // Text and raw parameters have no range; ids start at 0.
        out.assign(m_info.elementSize, isMax ? 1.0 : 0.0);
        return nullptr;
    }
    const auto have = static_cast<unsigned long long>(out.size());
    if (isMax) return ZEL_ERROR("Not enough maximum values defined %1 (should be %2).", have, m_info.elementSize);
    return ZEL_ERROR("Not enough minimum values defined %1 (should be %2).", have, m_info.elementSize);
}

CErrorPtr CAudioParamDef::parseValues(CAudioParamInfo& info, const CString& text) {
    const bool isFloat = info.dataType == CAudioParamInfo::kFloat;
    const unsigned size = info.elementSize;
    CAudioParamValue value(size);
    std::vector<CString> items;
    size_t pos = 0;
    for (const CString& groupText : splitText(text, u';')) {
        value.addGroup();
        CAudioParamValue::CGroup& group = value.group(value.groupCount() - 1);
        size_t elementPos = pos;
        for (const CString& elementText : splitText(groupText, u',')) {
            if (!isFloat) {
                items.push_back(elementText);
                group.push_back(static_cast<double>(items.size()));
            } else {
                std::vector<CString> tokens =
                    size > 1 ? splitText(elementText, u' ') : std::vector<CString>{elementText};
                tokens.erase(std::remove_if(tokens.begin(), tokens.end(), [](const CString& t) { return t.empty(); }),
                             tokens.end());
                if (tokens.size() < size)
                    return ZEL_ERROR("Not enough default elements at pos %1.",
                                     static_cast<unsigned long long>(elementPos));
                for (unsigned c = 0; c < size; ++c) {
                    bool ok = false;
                    const CAudioParamConverter* cvt = c < info.converters.size() ? info.converters[c] : nullptr;
                    const double v = cvt ? cvt->textToPlain(info, c, trimText(tokens[c]), &ok) : 0.0;
                    if (!ok) return ZEL_ERROR("Default values parsing error.");
                    group.push_back(v);
                }
            }
            elementPos += elementText.length() + 1;
        }
        pos += groupText.length() + 1;
    }
    info.defaultValue = std::move(value);
    info.defaultItems = std::move(items);
    return nullptr;
}

// ---------------------------------------------------------------- allocations, remaps

CErrorPtr CAudioParamAllocDef::init() {
    ZEL_TRY(CObject::init());
    m_paramName = getAttr("param-name");
    if (m_paramName.empty()) return ZEL_ERROR("Invalid parameter name specified.");
    long long index = 0;
    if (!readInt("index", index) || index < 0 || index > INT32_MAX)
        return ZEL_ERROR("Invalid parameter's '%1' index '%2' specified.", m_paramName, getAttr("index"));
    m_index = static_cast<int>(index);
    m_useAllGroups = getBool("use-all-groups", false);
    m_useAllElements = getBool("use-all-elements", false);
    m_isSmoothUpdate = getBool("is-smooth-update", false);
    return nullptr;
}

CErrorPtr CAudioParamRemapDef::parseStatements(const CString& text, std::vector<CMapping>& out) {
    out.clear();
    for (const CString& raw : splitText(text, u';')) {
        const CString statement = trimText(raw);
        if (statement.empty()) continue;
        const size_t eq = statement.find(u'=');
        const CString local = eq == CString::npos ? CString() : trimText(statement.substr(0, eq));
        const CString target = eq == CString::npos ? CString() : trimText(statement.substr(eq + 1));
        if (local.empty() || target.empty() || target.find(u'=') != CString::npos)
            return ZEL_ERROR("Invalid remapping string '%1' defined.", statement);
        out.emplace_back(local, target);
    }
    if (out.empty()) return ZEL_ERROR("No remappings defined.");
    return nullptr;
}

CErrorPtr CAudioParamRemapDef::init() {
    ZEL_TRY(CObject::init());
    const CString orig = getAttr("orig"), target = getAttr("new");
    if (!orig.empty() || !target.empty()) {
        if (orig.empty() || target.empty())
            return ZEL_ERROR("Invalid remapping string '%1' defined.", orig + " = " + target);
        m_mappings = {{orig, target}};
        return nullptr;
    }
    const CObject* content = findChild("content");
    ZEL_TRY(parseStatements(content ? content->getAttr("value") : CString(), m_mappings));
    return nullptr;
}

// ---------------------------------------------------------------- host-exposed parameters

CErrorPtr CAudioExtParam::init() {
    ZEL_TRY(CObject::init());
    m_extName = getAttr("ext-name");
    if (m_extName.empty() || m_extName.length() > kMaxExtNameLength)
        return ZEL_ERROR("Externalized parameter name '%1' is too long", m_extName);
    m_paramName = getAttr("param-name");
    CAudioParamCollector* collector = nullptr;
    ZEL_TRY(findObjectByAttr("param-collector", collector));
    m_param = collector->find(m_paramName);
    if (!m_param)
        return ZEL_ERROR("@zelstr_CAudioExtParam_init_NoParam Externalized parameter '%1' does not exist.",
                         m_paramName);
    m_group = static_cast<int>(getInt("group", 0));
    m_elementIndex = static_cast<int>(getInt("element-index", 0));
    return nullptr;
}

}  // namespace zel
