// SPDX-License-Identifier: GPL-3.0-or-later
#include "UI/FileBrowserListing.h"

#include <algorithm>
#include <cctype>

#include "Platform/FolderListing.h"

#define ZEL_SOURCE_TAG "FileBrowserListing"

namespace zel {

namespace {

char lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool lessNoCase(const std::string& a, const std::string& b) {
    const bool less = std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                                   [](char x, char y) { return lower(x) < lower(y); });
    const bool more = std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(),
                                                   [](char x, char y) { return lower(x) < lower(y); });
    // Names that differ only in case keep a fixed order.
    return less || (!more && a < b);
}

bool endsWithNoCase(const std::string& name, const std::string& tail) {
    if (name.size() < tail.size()) return false;
    return std::equal(tail.begin(), tail.end(), name.end() - long(tail.size()),
                      [](char x, char y) { return lower(x) == lower(y); });
}

std::string joined(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

std::string CFileBrowserListing::normalise(const std::string& path, const std::string& base) {
    const std::string full = !path.empty() && path[0] == '/' ? path : base + "/" + path;
    std::vector<std::string> steps;
    size_t at = 0;
    while (at <= full.size()) {
        size_t end = full.find('/', at);
        if (end == std::string::npos) end = full.size();
        const std::string step = full.substr(at, end - at);
        if (step == "..") {
            if (!steps.empty()) steps.pop_back();
        } else if (!step.empty() && step != ".") {
            steps.push_back(step);
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string& step : steps) out += "/" + step;
    return out.empty() ? "/" : out;
}

std::string CFileBrowserListing::parentOf(const std::string& folder) {
    const size_t slash = folder.rfind('/');
    if (slash == std::string::npos || slash == 0) return "/";
    return folder.substr(0, slash);
}

std::string CFileBrowserListing::safeFileName(const std::string& proposed) {
    std::string out = proposed;
    for (char& c : out)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    return out;
}

CErrorPtr CFileBrowserListing::open(const std::string& folder) {
    const std::string path = normalise(folder);
    std::vector<platform::CFolderEntry> found;
    if (const int error = platform::listFolder(path, found))
        return ZEL_ERROR("@zelstr_CFileBrowser_open_FolderError Unable to read folder '%1' (error %2).", path, error);
    std::vector<CEntry> folders, files;
    for (const platform::CFolderEntry& e : found) {
        if (e.name.empty() || e.name[0] == '.') continue;
        if (e.isFolder)
            folders.push_back({e.name, EKind::Folder});
        else if (isListed(e.name))
            files.push_back({e.name, EKind::File});
    }
    const auto byName = [](const CEntry& a, const CEntry& b) { return lessNoCase(a.name, b.name); };
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(files.begin(), files.end(), byName);
    m_entries.clear();
    if (path != "/") m_entries.push_back({"..", EKind::Parent});
    m_entries.insert(m_entries.end(), folders.begin(), folders.end());
    m_entries.insert(m_entries.end(), files.begin(), files.end());
    m_folder = path;
    return nullptr;
}

bool CFileBrowserListing::isListed(const std::string& fileName) const {
    if (m_extension.empty()) return true;
    const std::string tail = "." + m_extension;
    return fileName.size() > tail.size() && endsWithNoCase(fileName, tail);
}

std::string CFileBrowserListing::pathOf(size_t index) const {
    if (index >= m_entries.size()) return {};
    const CEntry& e = m_entries[index];
    return e.kind == EKind::Parent ? parentOf(m_folder) : joined(m_folder, e.name);
}

int CFileBrowserListing::find(const std::string& name, EKind kind) const {
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].kind == kind && m_entries[i].name == name) return int(i);
    return -1;
}

int CFileBrowserListing::nextStartingWith(char letter, int from) const {
    const size_t n = m_entries.size();
    for (size_t step = 1; step <= n; ++step) {
        const size_t i = (size_t(std::max(from, -1) + 1) + step - 1) % n;
        const CEntry& e = m_entries[i];
        if (e.kind != EKind::Parent && lower(e.name[0]) == lower(letter)) return int(i);
    }
    return -1;
}

std::string CFileBrowserListing::savePath(const std::string& typed) const {
    const size_t first = typed.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const std::string name = typed.substr(first, typed.find_last_not_of(" \t") + 1 - first);
    // The name's last step must name a file: "..", "." or a trailing "/" name folders.
    const std::string leaf = name.substr(name.rfind('/') + 1);
    if (leaf.empty() || leaf == "." || leaf == "..") return {};
    std::string path = normalise(name, m_folder);
    if (!m_extension.empty() && !isListed(leaf)) path += "." + m_extension;
    return path;
}

}  // namespace zel
