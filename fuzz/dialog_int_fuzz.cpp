// The dialog's integer parser against a plain restatement of its rules: the first 31 characters;
// blanks (space, tab) before; a sign; decimal digits; blanks after and nothing else; zero only
// when the first character after the blanks is '0'; values beyond 32 bits clamped. A refused text
// leaves the value alone.
#include "fuzz_check.h"

#include <afxwin.h>

#include <climits>
#include <string>

namespace {

bool Blank(char c) {
    return c == ' ' || c == '\t';
}

bool Expected(std::string text, int* value) {
    text = text.substr(0, text.find('\0')).substr(0, 31);
    size_t i = 0;
    while (i < text.size() && Blank(text[i])) ++i;
    bool zeroAllowed = i < text.size() && text[i] == '0';
    bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    size_t first = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    std::string digits = text.substr(first, i - first);
    while (i < text.size() && Blank(text[i])) ++i;
    if (digits.empty() || i != text.size()) return false;
    digits.erase(0, digits.find_first_not_of('0'));
    if (digits.empty() && !zeroAllowed) return false;
    long long magnitude = digits.size() > 10 ? LLONG_MAX : digits.empty() ? 0 : std::stoll(digits);
    long long result = negative ? -magnitude : magnitude;
    *value = static_cast<int>(result > INT_MAX ? INT_MAX : result < INT_MIN ? INT_MIN : result);
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    int expected = 0x5EED, got = 0x5EED;
    bool accepted = Expected(text, &expected);
    FUZZ_CHECK((AfxParseDialogInt(text.c_str(), &got) != FALSE) == accepted);
    FUZZ_CHECK(got == expected);
    return 0;
}
