// The profile's reader and writer on any text: after writing an integer under a section and key,
// reading it back gives that integer, and every other line of the text is still there, in order and
// unchanged (so every other entry reads as before).
#include "fuzz_check.h"

#include <profile.h>

#include <string>
#include <vector>

namespace {

// Names as a program passes them: fixed, plain words (the case differs from the text's at times).
const char* const kSections[] = {"MyKorvaneAp", "mykorvaneap", "Other", "Two Words"};
const char* const kKeys[] = {"KorvaneComPort", "KORVANECOMPORT", "Other", "A"};

// The text's lines without their "\n" (a final empty piece after a last "\n" is no line).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl == std::string::npos ? nl : nl - start));
        start = nl == std::string::npos ? text.size() : nl + 1;
    }
    return lines;
}

// Every old line is in the new text in order; besides them the new text holds at most the lines the
// write adds ("[section]", "key=value") and one old line with its value replaced (everything up to
// its '=' kept, the new value at its end). A last line without a line end gains one (the first the
// text uses, maybe "\r\n").
void CheckOtherLinesKept(const std::string& before, const std::string& after, const std::string& section,
                         const std::string& entry) {
    const std::vector<std::string> old = Lines(before), now = Lines(after);
    const std::string tail = entry.substr(entry.find('='));
    size_t i = 0, changed = 0;
    for (const std::string& line : now) {
        const std::string bare = line.ends_with('\r') ? line.substr(0, line.size() - 1) : line;
        const bool gainsEnd = i + 1 == old.size() && !before.ends_with('\n');
        const size_t eq = i < old.size() ? old[i].find('=') : std::string::npos;
        if (i < old.size() && (old[i] == line || (gainsEnd && old[i] + "\r" == line)))
            ++i;
        else if (eq != std::string::npos && changed == 0 && line.compare(0, eq + 1, old[i], 0, eq + 1) == 0 &&
                 bare.ends_with(tail))
            ++i, ++changed;
        else
            FUZZ_CHECK(bare == "[" + section + "]" || bare == entry), ++changed;
    }
    FUZZ_CHECK(i == old.size() && changed <= 2); // no old line goes missing
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    uint8_t choice = in.Take<uint8_t>();
    const char* section = kSections[choice & 3];
    const char* key = kKeys[(choice >> 2) & 3];
    const int value = in.Take<int32_t>();
    const std::string text = in.Rest(), written = std::to_string(value);
    const std::string after = profile::SetValue(text, section, key, written);
    std::string raw;
    int back = value ^ 1;
    FUZZ_CHECK(profile::GetValue(after, section, key, &raw) && raw == written);
    FUZZ_CHECK(profile::ParseValue(raw, &back) && back == value);
    CheckOtherLinesKept(text, after, section, std::string(key) + "=" + written);
    return 0;
}
