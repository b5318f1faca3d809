#include "cstring.h"

#include "resources.h"

#include <cstdarg>
#include <cstdio>

void CString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int wanted = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (wanted < 0) {
        m_text.clear();
        va_end(again);
        return;
    }
    std::string text(static_cast<size_t>(wanted) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    va_end(again);
    text.resize(static_cast<size_t>(wanted));
    m_text = std::move(text);
}

BOOL CString::LoadString(UINT id) {
    const char* text = AfxFindString(id);
    m_text = text ? text : "";
    return text != nullptr;
}
