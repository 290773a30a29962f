// The frame walk of connection lines on arbitrary bytes: it never reads
// outside them, a walk resumed as the bytes arrive in pieces ends where one
// walk over all of them ends, and a line cut into frames by the sender's
// headers walks back to its text. The first byte chooses the piece sizes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "runtime/system/net_frames.h"

namespace {

void check(bool holds) {
    if (!holds) std::abort();
}

void walk_as_given(const uint8_t* data, size_t size, size_t piece) {
    NetLineScan whole;
    const NetScanResult result = net_frames_scan(data, size, &whole);
    check(whole.offset <= size && whole.payload <= whole.offset);
    NetLineScan resumed;
    NetScanResult last = net_scan_incomplete;
    for (size_t have = 0; last == net_scan_incomplete && have < size;) {
        have = have + piece < size ? have + piece : size;
        last = net_frames_scan(data, have, &resumed);
    }
    check(last == result && resumed.offset == whole.offset && resumed.payload == whole.payload);
    if (result != net_scan_line) return;
    std::vector<uint8_t> text(whole.payload);
    check(net_frames_copy_payload(data, whole.offset, text.data()) == whole.payload);
}

void frame_and_walk_back(const uint8_t* data, size_t size, uint8_t seed) {
    std::vector<uint8_t> wire;
    size_t at = 0;
    for (uint32_t i = 0;; ++i) {
        size_t piece = (seed * 37u + i * 101u) % 300u;
        if (piece > size - at) piece = size - at;
        const bool last = at + piece == size;
        uint8_t header[net_frame_header_limit];
        wire.insert(wire.end(), header, header + net_frame_header(piece, !last, header));
        wire.insert(wire.end(), data + at, data + at + piece);
        at += piece;
        if (last) break;
    }
    NetLineScan scan;
    check(net_frames_scan(wire.data(), wire.size(), &scan) == net_scan_line);
    check(scan.offset == wire.size() && scan.payload == size);
    std::vector<uint8_t> text(size);
    check(net_frames_copy_payload(wire.data(), scan.offset, text.data()) == size);
    check(size == 0 || std::memcmp(text.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t seed = data[0];
    walk_as_given(data + 1, size - 1, seed % 16 + 1);
    frame_and_walk_back(data + 1, size - 1, seed);
    return 0;
}
