#include "profile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <strings.h>
#include <vector>

namespace profile {
namespace {

struct Line {
    std::string text; // without its ending
    std::string eol;  // "\r\n", "\n" or "" (last line without one)
};

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        bool crlf = nl > start && text[nl - 1] == '\r';
        size_t end = crlf ? nl - 1 : nl;
        lines.push_back({text.substr(start, end - start), crlf ? "\r\n" : "\n"});
        start = nl + 1;
    }
    return lines;
}

std::string Trim(const std::string& s) {
    const char* blanks = " \t\r";
    size_t b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// The section name when `line` is a "[name]" line.
bool SectionName(const std::string& line, std::string* name) {
    std::string t = Trim(line);
    if (t.empty() || t[0] != '[') return false;
    size_t close = t.find(']');
    *name = Trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

bool SameName(const std::string& a, const char* b) {
    return strcasecmp(a.c_str(), b) == 0;
}

// The key of a "key=value" line.
bool KeyOf(const std::string& line, std::string* key) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    *key = Trim(line.substr(0, eq));
    return true;
}

// Line range [first, end) of the body of the first section named `section`; first == npos if none.
std::pair<size_t, size_t> FindSection(const std::vector<Line>& lines, const char* section) {
    std::string name;
    size_t first = std::string::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!SectionName(lines[i].text, &name)) continue;
        if (first != std::string::npos) return {first, i};
        if (SameName(name, section)) first = i + 1;
    }
    return {first, lines.size()};
}

// Index of the first line in [first, end) whose key is `key`, or npos.
size_t FindKey(const std::vector<Line>& lines, std::pair<size_t, size_t> range, const char* key) {
    std::string k;
    for (size_t i = range.first; i < range.second; ++i) {
        if (KeyOf(lines[i].text, &k) && SameName(k, key)) return i;
    }
    return std::string::npos;
}

std::string LineEnding(const std::vector<Line>& lines) {
    for (const Line& l : lines) {
        if (!l.eol.empty()) return l.eol;
    }
    return "\n";
}

std::string Join(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& l : lines) out += l.text + l.eol;
    return out;
}

bool ParseInt(const std::string& text, int* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    bool digitFirst = (text[0] >= '0' && text[0] <= '9') || text[0] == '-' || text[0] == '+';
    if (!digitFirst || *end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

} // namespace

bool ParseValue(const std::string& text, int* value) {
    return ParseInt(text, value);
}

bool GetValue(const std::string& text, const char* section, const char* key, std::string* value) {
    std::vector<Line> lines = SplitLines(text);
    auto range = FindSection(lines, section);
    if (range.first == std::string::npos) return false;
    size_t at = FindKey(lines, range, key);
    if (at == std::string::npos) return false;
    *value = Trim(lines[at].text.substr(lines[at].text.find('=') + 1));
    return true;
}

std::string SetValue(const std::string& text, const char* section, const char* key,
                     const std::string& value) {
    std::vector<Line> lines = SplitLines(text);
    std::string eol = LineEnding(lines);
    auto range = FindSection(lines, section);
    if (range.first == std::string::npos) {
        if (!lines.empty() && lines.back().eol.empty()) lines.back().eol = eol;
        lines.push_back({"[" + std::string(section) + "]", eol});
        lines.push_back({std::string(key) + "=" + value, eol});
        return Join(lines);
    }
    size_t at = FindKey(lines, range, key);
    if (at != std::string::npos) {
        std::string& t = lines[at].text;
        t = t.substr(0, t.find('=') + 1) + value;
        return Join(lines);
    }
    // After the section's last non-blank line, so blank separator lines stay before the next section.
    size_t insert = range.first;
    for (size_t i = range.first; i < range.second; ++i) {
        if (!Trim(lines[i].text).empty()) insert = i + 1;
    }
    if (insert > 0 && lines[insert - 1].eol.empty()) lines[insert - 1].eol = eol;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert),
                 Line{std::string(key) + "=" + value, eol});
    return Join(lines);
}

} // namespace profile
