// SPDX-License-Identifier: GPL-3.0-or-later
#include "Core/Error.h"

#include <cstring>

namespace zel {

CError::CError(const char* message, std::vector<CString> args) : m_message(message), m_args(std::move(args)) {
    if (m_args.size() > kMaxArgs) m_args.resize(kMaxArgs);
}

std::string CError::key() const {
    if (m_message[0] != '@') return {};
    const char* space = std::strchr(m_message, ' ');
    return space ? std::string(m_message, space) : std::string(m_message);
}

CString CError::text() const {
    const char* p = m_message;
    if (p[0] == '@') {
        const char* space = std::strchr(p, ' ');
        p = space ? space + 1 : p + std::strlen(p);
    }
    CString source = CString::fromUtf8(p, std::strlen(p));
    CString out;
    for (size_t i = 0; i < source.length(); ++i) {
        const char16_t c = source.at(i);
        if (c == '%' && i + 1 < source.length() && source.at(i + 1) >= '1' && source.at(i + 1) <= '7') {
            const size_t n = source.at(i + 1) - '1';
            if (n < m_args.size()) out.append(m_args[n]);
            ++i;
            continue;
        }
        out.append(c);
    }
    return out;
}

std::string CError::describe() const {
    std::string out = text().utf8();
    for (const CError* e = this; e; e = e->cause()) {
        if (e != this) out += "\ncaused by: " + e->text().utf8();
        for (const CTrace& t : e->m_trace) out += "\n  at " + std::string(t.tag) + ":" + std::to_string(t.line);
    }
    return out;
}

CErrorPtr makeError(const char* tag, int line, const char* message, std::initializer_list<CErrorArg> args) {
    std::vector<CString> texts;
    texts.reserve(args.size());
    for (const CErrorArg& a : args) texts.push_back(a.text);
    auto e = std::make_unique<CError>(message, std::move(texts));
    e->addTrace(tag, line);
    return e;
}

CErrorPtr wrapError(const char* tag, int line, CErrorPtr cause, const char* message,
                    std::initializer_list<CErrorArg> args) {
    CErrorPtr e = makeError(tag, line, message, args);
    e->setCause(std::move(cause));
    return e;
}

}  // namespace zel
