// The board's reply decoding from arbitrary bytes and counts: a frame is taken only at its exact
// length, its fields are exactly the bytes' meaning, voltages stay within their ranges, and a refused
// reply leaves the caller's values alone. Input: a count byte, then the reply bytes.
#include "fuzz_check.h"

#include "BoardLink.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    int count = static_cast<int8_t>(in.Take<uint8_t>()); // negative counts too
    uint8_t reply[256];
    in.Take(reply, sizeof reply);

    TiltFrame frame{1, 2, true, false};
    bool tilt = DecodeTilt(reply, count, &frame);
    FUZZ_CHECK(tilt == (count == 3));
    if (tilt) {
        FUZZ_CHECK(frame.x == reply[0] && frame.y == reply[1]);
        FUZZ_CHECK(frame.leftUp == ((reply[2] & 2) != 0) && frame.rightUp == ((reply[2] & 1) != 0));
    } else {
        FUZZ_CHECK(frame.x == 1 && frame.y == 2 && frame.leftUp && !frame.rightUp);
    }

    float volts[7] = {7, 7, 7, 7, 7, 7, 7};
    bool dvm = DecodeVoltages(reply, count, volts);
    FUZZ_CHECK(dvm == (count == 7));
    for (int k = 0; k < 7; ++k) {
        if (!dvm) {
            FUZZ_CHECK(volts[k] == 7.0f);
            continue;
        }
        double wire = reply[k] / 51.0;
        double expected = k == 4 ? (wire - 2.5) * 2 : wire;
        FUZZ_CHECK(std::fabs(volts[k] - expected) < 1e-5);
        FUZZ_CHECK(volts[k] >= (k == 4 ? -5.0f : 0.0f) && volts[k] <= 5.0f);
    }
    return 0;
}
