// The port interface's shared part: the snapshot layout.
#include "COMLINK.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Rows: a field, its line identifier, the byte it lands in and the mask of its two bits there.
TEST(LineStateSnapshot, FieldsLandInTheDocumentedBits) {
    const std::tuple<int, int, int, uint8_t> rows[] = {
        {0, LINE_DTR, 0, 0x03},           {3, LINE_DSR, 0, 0xC0},           {4, LINE_CTS, 1, 0x03},
        {11, LINE_BREAK_DETECT, 2, 0xC0}, {12, LINE_PARITY_ERROR, 3, 0x03}, {15, LINE_OVERRUN, 3, 0xC0}};
    for (const auto& [field, lineId, byte, mask] : rows) {
        LineStateSnapshot snapshot{};
        SetSnapshotField(&snapshot, field, 3);
        std::vector<uint8_t> bytes(4), wanted(4);
        std::memcpy(bytes.data(), &snapshot, 4), wanted[size_t(byte)] = mask;
        EXPECT_EQ(std::tuple(bytes, g_snapshotLineIds[field], +snapshot.parityError),
                  std::tuple(wanted, lineId, field == 12 ? 3 : 0))
            << "field " << field;
    }
}

} // namespace
