#include "TrendHistory.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

TrendHistory::TrendHistory() {
    for (Ring& ring : m_rings) ring.samples = std::make_unique<TrendSample[]>(kCapacity);
}

void TrendHistory::Record(PollMode mode, const TrendSample& sample) {
    Ring& ring = RingOf(mode);
    if (ring.count == kCapacity) {
        ring.first = (ring.first + 1) % kCapacity;
        --ring.count;
    }
    ring.samples[(ring.first + ring.count) % kCapacity] = sample;
    ++ring.count;
    while (ring.count > 1 && sample.tMs - ring.samples[ring.first].tMs > kKeepMs) {
        ring.first = (ring.first + 1) % kCapacity;
        --ring.count;
    }
}

int TrendHistory::Count(PollMode mode) const {
    return RingOf(mode).count;
}

const TrendSample& TrendHistory::At(PollMode mode, int index) const {
    const Ring& ring = RingOf(mode);
    return ring.samples[(ring.first + index) % kCapacity];
}

int TrendHistory::FirstAtOrAfter(PollMode mode, int64_t tMs) const {
    // Times only grow along the ring: a binary search keeps a paint of a long history short.
    int low = 0, high = Count(mode);
    while (low < high) {
        int middle = (low + high) / 2;
        if (At(mode, middle).tMs < tMs)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

bool TrendHistory::Joined(const TrendSample& a, const TrendSample& b) {
    return a.valid && b.valid && b.tMs - a.tMs <= kGapMs;
}

std::string TrendHistory::Csv(PollMode mode) const {
    std::string text = HeaderLine(mode, RowFormat::Csv);
    const int count = Count(mode);
    const int64_t start = count ? At(mode, 0).tMs : 0;
    for (int i = 0; i < count; ++i) {
        const TrendSample& s = At(mode, i);
        if (!s.valid) continue;
        const long long tMs = s.tMs - start;
        text += mode == PollMode::Tilt ? TiltRow(RowFormat::Csv, tMs, s.tilt)
                                       : VoltageRow(RowFormat::Csv, tMs, s.volts);
    }
    return text;
}

std::string WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    int error = file ? 0 : errno;
    if (file) {
        bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        written = std::fflush(file) == 0 && written;
        if (!written) error = errno ? errno : EIO;
        if (std::fclose(file) != 0 && !error) error = errno ? errno : EIO;
    }
    std::error_code renamed;
    if (!error) std::filesystem::rename(temporary, path, renamed);
    if (!error && !renamed) return "";
    std::string reason = error ? std::strerror(error) : renamed.message();
    if (file) std::remove(temporary.c_str());
    return "Could not write " + path + ": " + reason + ".";
}
