// CString: the framework's text type, a byte string (UTF-8 on this platform) with the handful of
// operations the application uses. Converts to `const char*` so it passes wherever text does.
#pragma once

#include "windefs.h"

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}
    CString(const std::string& text) : m_text(text) {}

    /// The text, NUL-terminated; valid until the string changes.
    operator const char*() const { return m_text.c_str(); }
    /// The text as a standard string.
    const std::string& Str() const { return m_text; }
    /// Length in bytes.
    int GetLength() const { return static_cast<int>(m_text.size()); }
    /// TRUE when the string holds no characters.
    BOOL IsEmpty() const { return m_text.empty(); }
    /// Replaces the text with printf-style formatting of the arguments.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    /// Loads string resource `id`; returns FALSE (and leaves the string empty) when there is none.
    BOOL LoadString(UINT id);

    CString& operator=(const char* text) {
        m_text = text ? text : "";
        return *this;
    }
    CString& operator+=(const char* text) {
        m_text += text ? text : "";
        return *this;
    }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }

private:
    std::string m_text;
};
