// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "UI/Controls/Selector.h"

namespace zel {

// A selector that writes one of its values to a setting: button i writes
// value i to attribute `setting-attribute` of the object `setting`, and
// the button whose value the setting holds is active.
class CSettingSelector : public CSelector {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;
    void attrChanged(const CString& name) override;

protected:
    // Where the titles, the values and the setting come from.
    virtual CString titleList() const = 0;
    virtual CString valueList() const = 0;
    virtual CErrorPtr findSetting(CObject*& object, CString& attribute) = 0;

    std::vector<CString> titles() const override;
    int current() const override;
    CErrorPtr choose(int index) override;

private:
    CObject* m_setting = nullptr;
    CString m_attribute;
    std::vector<CString> m_values;
};

// `ui:selector-fps`: the frame rates `fps-values` ("20;30;40;50;60") for
// the setting `shared-attribute` (the frames per second).
class CSelectorFPS : public CSettingSelector {
protected:
    CString titleList() const override;
    CString valueList() const override { return titleList(); }
    CErrorPtr findSetting(CObject*& object, CString& attribute) override;
};

// `ui:selector-scale`: the UI scales `ui-scale-titles` ("80%;100%;125%")
// writing 0.8, 1.0 and 1.25 to `scale` of `ui-scale` ("ui.local-data.ui-scale").
// Open windows keep their size: the scale applies when the editor opens again.
class CSelectorScale : public CSettingSelector {
protected:
    CString titleList() const override;
    CString valueList() const override;
    CErrorPtr findSetting(CObject*& object, CString& attribute) override;
};

}  // namespace zel
