// The profile's reader and writer on any text: after writing an integer under a section and key,
// reading it back gives that integer, and writing it again changes nothing. What a write keeps of
// the other lines is pinned by rows (Profile.ReadGivesTheValueOrTheDefaultAndAWriteKeepsEveryOtherLine).
#include "fuzz_check.h"

#include <profile.h>

#include <string>

namespace {

// Names as a program passes them: fixed, plain words (the case differs from the text's at times).
const char* const kSections[] = {"MyKorvaneAp", "mykorvaneap", "Other", "Two Words"};
const char* const kKeys[] = {"KorvaneComPort", "KORVANECOMPORT", "Other", "A"};

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
    FUZZ_CHECK(profile::SetValue(after, section, key, written) == after);
    return 0;
}
