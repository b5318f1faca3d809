// The board's reply decoding from arbitrary bytes and counts: a frame is taken only at its exact
// length, a refused reply leaves the caller's values alone, and nothing is read past the count.
// Input: a count byte, then the reply bytes. Exact results are pinned by fixed rows, checked with the
// first input: the two buttons apart, and voltages as the nearest float to byte / 51 V (channel 4:
// twice that less 2.5 V), so arithmetic in single precision shows.
#include "fuzz_check.h"

#include "BoardLink.h"

#include <tuple>
#include <vector>

namespace {

void CheckRows() {
    for (const auto& [bits, left, right] : {std::tuple(2, true, false), std::tuple(1, false, true)}) {
        const uint8_t reply[] = {0x80, 0x40, uint8_t(bits)};
        TiltFrame frame{};
        FUZZ_CHECK(DecodeTilt(reply, 3, &frame) && frame.x == 0x80 && frame.y == 0x40 &&
                   frame.leftUp == left && frame.rightUp == right);
    }
    // The byte on channels 0 and 4 and the voltages read there.
    const std::tuple<uint8_t, float, float> rows[] = {{0, 0.0f, -5.0f},
                                                      {51, 1.0f, -3.0f},
                                                      {127, 2.49019608f, -0.0196078431f},
                                                      {128, 2.50980392f, 0.0196078431f},
                                                      {255, 5.0f, 5.0f}};
    for (const auto& [byte, channel0, channel4] : rows) {
        const uint8_t reply[] = {byte, 0, 0, 0, byte, 0, 0};
        float volts[7] = {};
        FUZZ_CHECK(DecodeVoltages(reply, 7, volts) && volts[0] == channel0 && volts[4] == channel4);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FUZZ_ROWS_ONCE(CheckRows);
    FuzzInput in{data, size};
    const int count = static_cast<int8_t>(in.Take<uint8_t>()); // negative counts too
    // Exactly the count's bytes on the heap, so the sanitizers see a read past them.
    std::vector<uint8_t> reply(static_cast<size_t>(count > 0 ? count : 0));
    in.Take(reply.data(), reply.size());
    TiltFrame frame{1, 2, true, false};
    FUZZ_CHECK(DecodeTilt(reply.data(), count, &frame) == (count == 3));
    FUZZ_CHECK(count == 3 || (frame.x == 1 && frame.y == 2 && frame.leftUp && !frame.rightUp));
    float volts[7] = {7, 7, 7, 7, 7, 7, 7};
    const bool dvm = DecodeVoltages(reply.data(), count, volts);
    FUZZ_CHECK(dvm == (count == 7));
    for (float v : volts) FUZZ_CHECK(dvm ? v >= -5.0f && v <= 5.0f : v == 7.0f);
    return 0;
}
