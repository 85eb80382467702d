// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/Controls/RoutingLabels.h"

#include <algorithm>

namespace zel {

namespace {

const char* const kModes[] = {"active-group-per-channel",
                              "active-groups-with-channels",
                              "active-groups",
                              "active-channel-names",
                              "active-channels",
                              "full"};

// A blank name gives the number.
CString nameOr(const std::vector<CString>& names, size_t index) {
    if (index < names.size() && names[index].utf8().find_first_not_of(' ') != std::string::npos) return names[index];
    return toText((long long)(index + 1));
}

CString joined(const std::vector<CString>& parts, const char* separator) {
    CString out;
    for (size_t i = 0; i < parts.size(); ++i) out += (i ? CString(separator) : CString()) + parts[i];
    return out;
}

}  // namespace

bool CRoutingLabels::isMode(const CString& mode) {
    return std::any_of(std::begin(kModes), std::end(kModes), [&](const char* m) { return mode == CString(m); });
}

std::vector<CRoutingLabels::CLabel> CRoutingLabels::labels(const CRouting& routing, const CString& mode) {
    // The internal channels, their inputs, and the fed ones in the router's order.
    size_t channels = routing.grouping.size();
    for (int target : routing.inRouting) channels = std::max(channels, size_t(std::max(target, 0)));
    std::vector<std::vector<CString>> inputs(channels);
    std::vector<size_t> fed;
    for (size_t h = 0; h < routing.inRouting.size(); ++h) {
        const int target = routing.inRouting[h] - 1;
        if (target < 0) continue;
        if (inputs[size_t(target)].empty()) fed.push_back(size_t(target));
        inputs[size_t(target)].push_back(nameOr(routing.inputNames, h));
    }
    const auto groupOf = [&](size_t c) { return c < routing.grouping.size() ? std::max(routing.grouping[c], 0) : 0; };
    const auto groupName = [&](int g) { return nameOr(routing.groupNames, size_t(g)); };

    std::vector<CLabel> out;
    if (mode == CString("full")) {
        for (size_t c = 0; c < channels; ++c) {
            const CString from = inputs[c].empty() ? CString("-") : joined(inputs[c], "+");
            const int g = groupOf(c);
            out.push_back(
                {toText((long long)(c + 1)) + ": " + from + " (" + groupName(g) + ")", int(c), g, !inputs[c].empty()});
        }
    } else if (mode == CString("active-groups") || mode == CString("active-groups-with-channels")) {
        std::vector<int> groups;
        for (size_t c : fed)
            if (std::find(groups.begin(), groups.end(), groupOf(c)) == groups.end()) groups.push_back(groupOf(c));
        std::sort(groups.begin(), groups.end());
        const bool withChannels = mode == CString("active-groups-with-channels");
        for (int g : groups) {
            CString title = groupName(g);
            if (withChannels) {
                std::vector<CString> names;
                for (size_t c : fed)
                    if (groupOf(c) == g) names.push_back(joined(inputs[c], "+"));
                title += ": " + joined(names, ", ");
            }
            out.push_back({title, g, g, true});
        }
    } else {
        for (size_t c : fed) {
            const int g = groupOf(c);
            CString title;
            if (mode == CString("active-channels"))
                title = toText((long long)(c + 1));
            else if (mode == CString("active-channel-names"))
                title = joined(inputs[c], "+");
            else
                title = groupName(g);
            out.push_back({title, int(c), g, true});
        }
    }
    return out;
}

}  // namespace zel
