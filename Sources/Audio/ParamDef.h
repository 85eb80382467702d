// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <utility>
#include <vector>

#include "Audio/ParamValue.h"
#include "Core/Object.h"

namespace zel {

class CAudioParam;

// `audio:param`: a parameter declared in the definition document. Its
// initialisation turns the attributes into a CAudioParamInfo: converters,
// range in plain units, state names and the default value.
class CAudioParamDef : public CObject {
public:
    CErrorPtr init() override;
    const CAudioParamInfo& info() const { return m_info; }

    // Parses `text` in the default-value syntax (";" between groups, ","
    // between elements, " " between components when an element has more
    // than one) into `info.defaultValue` / `info.defaultItems`.
    static CErrorPtr parseValues(CAudioParamInfo& info, const CString& text);

private:
    CErrorPtr readConverters();
    CErrorPtr readRange(const char* attr, std::vector<double>& out, bool isMax);
    CErrorPtr readStateNames();

    CAudioParamInfo m_info;
};

// `audio:param-alloc`: binds a module's numbered slot to a parameter.
class CAudioParamAllocDef : public CObject {
public:
    CErrorPtr init() override;

    const CString& paramName() const { return m_paramName; }
    int index() const { return m_index; }
    bool useAllGroups() const { return m_useAllGroups; }
    bool useAllElements() const { return m_useAllElements; }
    bool isSmoothUpdate() const { return m_isSmoothUpdate; }

private:
    CString m_paramName;
    int m_index = 0;
    bool m_useAllGroups = false;
    bool m_useAllElements = false;
    bool m_isSmoothUpdate = false;
};

// `audio:param-remap`: module parameters read in place of their own the
// parameters named by the targets. Either `orig` and `new`, or a content
// child of statements "local = target;".
class CAudioParamRemapDef : public CObject {
public:
    using CMapping = std::pair<CString, CString>;  // local name, target

    CErrorPtr init() override;
    const std::vector<CMapping>& mappings() const { return m_mappings; }

    static CErrorPtr parseStatements(const CString& text, std::vector<CMapping>& out);

private:
    std::vector<CMapping> m_mappings;
};

// `audio:ext-param-list`: the host-exposed parameter elements; a child's
// position is its host parameter index.
class CAudioExtParamList : public CObject {};

// `audio:ext-param`: one element of one group of a parameter, seen by the
// host as a normalised value; the parameter is found through the instance's
// `param-collector`.
class CAudioExtParam : public CObject {
public:
    static constexpr size_t kMaxExtNameLength = 7;

    CErrorPtr init() override;

    const CString& paramName() const { return m_paramName; }
    CAudioParam* param() const { return m_param; }
    const CString& extName() const { return m_extName; }
    int group() const { return m_group; }
    int elementIndex() const { return m_elementIndex; }

private:
    CString m_paramName;
    CAudioParam* m_param = nullptr;
    CString m_extName;
    int m_group = 0;
    int m_elementIndex = 0;
};

// Splits at `separator`, keeping empty pieces.
std::vector<CString> splitText(const CString& text, char16_t separator);
CString trimText(const CString& text);

}  // namespace zel
