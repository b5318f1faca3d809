// The dialog's integer parser on any text: it never reads past the text or crashes, and what it
// accepts prints back as itself (no sign or digit invented). Its rule is pinned by fixed rows, checked
// with the first input: blanks (space, tab) around; a sign; decimal digits; zero only when the first
// character after the blanks is '0'; the first 31 characters only; the clamp at both ends of 32 bits.
// A refused text leaves the value alone.
#include "fuzz_check.h"

#include <afxwin.h>

#include <climits>

namespace {

constexpr int kRefused = 0x5EED; // the value a refused text leaves alone

void CheckRows() {
    // The 31st character is read, the 32nd is not.
    const std::string xAt31 = "1" + std::string(29, ' ') + "x", xAt32 = "1" + std::string(30, ' ') + "x";
    // clang-format off
    const std::pair<std::string, int> rows[] = {
        {"", kRefused},        {" \t ", kRefused},          {" \t-17\t ", -17},        {"+5", 5},
        {"-0", kRefused},      {"+0", kRefused},            {" 0 ", 0},                {"007", 7},
        {"00", 0},             {"1 2", kRefused},           {"--1", kRefused},         {"12a", kRefused},
        {"\n1", kRefused},     {"0x1", kRefused},           {"2147483647", INT_MAX},   {"3000000000", INT_MAX},
        {"-2147483648", INT_MIN}, {"-99999999999999999999", INT_MIN},
        {xAt31, kRefused},     {xAt32, 1},                  {std::string(30, '0') + "12", 1}};
    // clang-format on
    for (const auto& [text, expected] : rows) {
        int value = kRefused;
        FUZZ_CHECK((AfxParseDialogInt(text.c_str(), &value) != FALSE) == (expected != kRefused) &&
                   value == expected);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FUZZ_ROWS_ONCE(CheckRows);
    const std::string text = FuzzInput{data, size}.Rest();
    int value = kRefused, again = kRefused;
    if (AfxParseDialogInt(text.c_str(), &value))
        FUZZ_CHECK(AfxParseDialogInt(std::to_string(value).c_str(), &again) && again == value);
    else
        FUZZ_CHECK(value == kRefused);
    return 0;
}
