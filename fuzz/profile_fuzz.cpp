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

std::string WithoutCr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// Every old line is in the new text in order; besides them the new text holds at most the lines the
// write adds ("[section]", "key=value") and one old line with its value replaced.
void CheckOtherLinesKept(const std::string& before, const std::string& after, const std::string& section,
                         const std::string& entry) {
    std::vector<std::string> old = Lines(before), now = Lines(after);
    size_t i = 0, j = 0, added = 0, replaced = 0;
    const std::string tail = entry.substr(entry.find('='));
    // The replaced line keeps everything up to its '=' and ends in the new value.
    auto isReplaced = [&](const std::string& was, const std::string& is) {
        size_t eq = was.find('=');
        return eq != std::string::npos && is.compare(0, eq + 1, was, 0, eq + 1) == 0 &&
               WithoutCr(is).ends_with(tail);
    };
    auto isAdded = [&](const std::string& line) {
        std::string bare = WithoutCr(line);
        return bare == "[" + section + "]" || bare == entry;
    };
    // A last line without a line end gains one (the first the text uses, maybe "\r\n").
    auto same = [&](size_t i, const std::string& line) {
        bool gainsEnd = i + 1 == old.size() && !before.ends_with('\n');
        return old[i] == line || (gainsEnd && old[i] + "\r" == line);
    };
    while (i < old.size() || j < now.size()) {
        FUZZ_CHECK(j < now.size()); // no old line goes missing
        if (i < old.size() && same(i, now[j])) {
            ++i, ++j;
        } else if (i < old.size() && replaced == 0 && isReplaced(old[i], now[j])) {
            ++i, ++j, ++replaced;
        } else {
            FUZZ_CHECK(isAdded(now[j]));
            ++j, ++added;
        }
    }
    FUZZ_CHECK(added + replaced <= 2);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    uint8_t choice = in.Take<uint8_t>();
    const char* section = kSections[choice & 3];
    const char* key = kKeys[(choice >> 2) & 3];
    int value = in.Take<int32_t>();
    std::string text(reinterpret_cast<const char*>(in.data), in.size);

    std::string written = std::to_string(value);
    std::string after = profile::SetValue(text, section, key, written);
    std::string raw;
    int back = value ^ 1;
    FUZZ_CHECK(profile::GetValue(after, section, key, &raw) && raw == written);
    FUZZ_CHECK(profile::ParseValue(raw, &back) && back == value);
    CheckOtherLinesKept(text, after, section, std::string(key) + "=" + written);
    return 0;
}
