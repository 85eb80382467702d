// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Core/String.h"

namespace zel {

// One argument of an error message; numbers are written in decimal.
struct CErrorArg {
    CString text;
    CErrorArg(const CString& s) : text(s) {}
    CErrorArg(const char* s) : text(s) {}
    CErrorArg(const std::string& s) : text(CString::fromUtf8(s)) {}
    CErrorArg(int v) : text(toText(v)) {}
    CErrorArg(unsigned v) : text(toText(v)) {}
    CErrorArg(long v) : text(toText(v)) {}
    CErrorArg(unsigned long v) : text(toText(v)) {}
    CErrorArg(long long v) : text(toText(v)) {}
    CErrorArg(unsigned long long v) : text(toText(v)) {}
};

// The result of every operation that can fail (null means success). The
// message is "@zelstr_Class_method_Id English text with %1..%7"; plain texts
// without a key are allowed for debug-style messages.
class CError {
public:
    struct CTrace {
        const char* tag;
        int line;
    };
    static constexpr size_t kMaxArgs = 7;

    CError(const char* message, std::vector<CString> args);

    const char* message() const { return m_message; }
    // "@zelstr_..." up to the first space, or empty for a message without key.
    std::string key() const;
    // The English text with %1..%7 replaced by the arguments.
    CString text() const;
    const std::vector<CString>& args() const { return m_args; }
    const std::vector<CTrace>& trace() const { return m_trace; }
    const CError* cause() const { return m_cause.get(); }

    void addTrace(const char* tag, int line) { m_trace.push_back({tag, line}); }
    void setCause(std::unique_ptr<CError> cause) { m_cause = std::move(cause); }

    // The text, then the trace and the causes, one per line: what a user
    // needs to report a problem.
    std::string describe() const;

private:
    const char* m_message;
    std::vector<CString> m_args;
    std::vector<CTrace> m_trace;
    std::unique_ptr<CError> m_cause;
};

using CErrorPtr = std::unique_ptr<CError>;

CErrorPtr makeError(const char* tag, int line, const char* message, std::initializer_list<CErrorArg> args);
// Wraps `cause` into a new error of this level.
CErrorPtr wrapError(const char* tag, int line, CErrorPtr cause, const char* message,
                    std::initializer_list<CErrorArg> args);

}  // namespace zel

// Every source file that reports errors defines ZEL_SOURCE_TAG (its own name)
// before using these.
#define ZEL_ERROR(message, ...) ::zel::makeError(ZEL_SOURCE_TAG, __LINE__, message, {__VA_ARGS__})
#define ZEL_WRAP(cause, message, ...) \
    ::zel::wrapError(ZEL_SOURCE_TAG, __LINE__, std::move(cause), message, {__VA_ARGS__})
// Passes an error upwards with this level's trace appended.
#define ZEL_PASS(err) ((err)->addTrace(ZEL_SOURCE_TAG, __LINE__), std::move(err))
#define ZEL_TRY(expr)                                    \
    do {                                                 \
        if (::zel::CErrorPtr zelErr_ = (expr)) {         \
            zelErr_->addTrace(ZEL_SOURCE_TAG, __LINE__); \
            return zelErr_;                              \
        }                                                \
    } while (0)
