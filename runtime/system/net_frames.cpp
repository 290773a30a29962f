// Frames of connection text: the sender's header and the receiver's walk over
// what arrived, which never reads past the bytes it is given and keeps every
// length in 64 bits.
#include "runtime/system/net_frames.h"
#include <cstring>

namespace {

constexpr uint8_t frame_continued = 0x80;
constexpr uint8_t frame_reserved_bits = 0x78;
constexpr uint8_t frame_class_bits = 0x07;
constexpr uint8_t class_byte_length = 5, class_word_length = 6, class_long_length = 7;

uint32_t length_field_size(uint8_t length_class) {
    switch (length_class) {
    case class_byte_length:
        return 1;
    case class_word_length:
        return 2;
    case class_long_length:
        return 4;
    default:
        return 0;
    }
}

// One frame at bytes[at..length): its header and field size and its payload
// length; false when the header or its field has not all arrived.
bool frame_at(const uint8_t* bytes, uint64_t length, uint64_t at, uint32_t* field, uint64_t* payload) {
    if (at >= length) return false;
    const uint8_t length_class = bytes[at] & frame_class_bits;
    *field = length_field_size(length_class);
    if (length - at - 1 < *field) return false;
    if (*field == 0) {
        *payload = length_class;
        return true;
    }
    *payload = 0;
    for (uint32_t i = 0; i < *field; ++i) *payload |= uint64_t{bytes[at + 1 + i]} << (8 * i);
    return true;
}

}  // namespace

uint32_t net_frame_header(uint64_t payload, bool continued, uint8_t out[net_frame_header_limit]) {
    const uint8_t flag = continued ? frame_continued : 0;
    if (payload < class_byte_length) {
        out[0] = static_cast<uint8_t>(flag | payload);
        return 1;
    }
    uint8_t length_class = payload < 256 ? class_byte_length : payload < 65536 ? class_word_length : class_long_length;
    out[0] = static_cast<uint8_t>(flag | length_class);
    uint32_t field = length_field_size(length_class);
    for (uint32_t i = 0; i < field; ++i) out[1 + i] = static_cast<uint8_t>(payload >> (8 * i));
    return 1 + field;
}

NetScanResult net_frames_scan(const uint8_t* bytes, uint64_t length, NetLineScan* scan) {
    for (;;) {
        const uint64_t at = scan->offset;
        if (at >= length) return net_scan_incomplete;
        const uint8_t header = bytes[at];
        if (header & frame_reserved_bits) return net_scan_invalid;
        uint32_t field = 0;
        uint64_t payload = 0;
        if (!frame_at(bytes, length, at, &field, &payload)) return net_scan_incomplete;
        if (scan->payload + payload > net_frame_payload_limit) return net_scan_invalid;
        // Both terms are below 2^33 and `at` below `length`: no sum overflows.
        if (length - at - 1 - field < payload) return net_scan_incomplete;
        scan->offset = at + 1 + field + payload;
        scan->payload += payload;
        if (!(header & frame_continued)) return net_scan_line;
    }
}

uint64_t net_frames_needed(const uint8_t* bytes, uint64_t length, const NetLineScan& scan) {
    uint32_t field = 0;
    uint64_t payload = 0;
    if (!frame_at(bytes, length, scan.offset, &field, &payload)) return scan.offset + 1;
    return scan.offset + 1 + field + payload;
}

uint64_t net_frames_copy_payload(const uint8_t* bytes, uint64_t line_bytes, uint8_t* out) {
    uint64_t at = 0, written = 0;
    uint32_t field = 0;
    uint64_t payload = 0;
    while (frame_at(bytes, line_bytes, at, &field, &payload) && line_bytes - at - 1 - field >= payload) {
        if (payload) std::memcpy(out + written, bytes + at + 1 + field, payload);
        written += payload;
        at += 1 + field + payload;
    }
    return written;
}
