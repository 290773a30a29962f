// The framed text of connections: one header byte (bits 0-2 the length class,
// bits 3-6 zero, bit 7 "the line goes on"), an optional little-endian length
// field, the payload. Plain bytes in and out, no runtime state: the fuzz
// target calls these alone.
#pragma once
#include <cstdint>

// The longest header: the byte and a 4-byte length field.
constexpr uint32_t net_frame_header_limit = 5;
// The longest payload one frame carries, and the longest line a string holds.
constexpr uint64_t net_frame_payload_limit = 0xFFFFFFFFu;

// The header of a frame of `payload` bytes (at most net_frame_payload_limit)
// in the smallest class that holds it; returns its size.
uint32_t net_frame_header(uint64_t payload, bool continued, uint8_t out[net_frame_header_limit]);

enum NetScanResult : uint8_t { net_scan_line, net_scan_incomplete, net_scan_invalid };

// How far a walk over the frames of one line has come: `offset` bytes of
// whole frames holding `payload` bytes, all of them continued. It resumes
// where it stopped while the bytes before `offset` stay as they were.
struct NetLineScan {
    uint64_t offset = 0;
    uint64_t payload = 0;
};

// Walks frames from scan->offset on over bytes[0..length). net_scan_line: the
// line ends within them, scan->offset its bytes and scan->payload its text's
// length. net_scan_incomplete: the bytes end first. net_scan_invalid: a header
// has a bit of 3-6 set, or the line outgrows a string; the scan stops before it.
NetScanResult net_frames_scan(const uint8_t* bytes, uint64_t length, NetLineScan* scan);

// After net_scan_incomplete: the fewest bytes from the start of the walk that
// the line takes, as far as its frames have told (the frame begun, with all
// the payload its header announces).
uint64_t net_frames_needed(const uint8_t* bytes, uint64_t length, const NetLineScan& scan);

// Copies the payloads of the whole frames in bytes[0..line_bytes) to out
// (which holds their total); returns the bytes written.
uint64_t net_frames_copy_payload(const uint8_t* bytes, uint64_t line_bytes, uint8_t* out);
