// The music-string interpreter: reads a music macro string and builds the
// sound it describes into sample buffers, which it hands to a sink in order.
// It knows nothing of the mixer, so it runs alone (benchmarks, the fuzzer).
#pragma once
#include <cstdint>

// Settings kept from one music string to the next.
struct MusicState {
    int32_t tempo = 120;  // quarter notes a minute
    int32_t length = 4;  // default note length (4 = a quarter)
    int32_t volume = 50;  // 0..100
    double articulation = 0.125;  // share of each note left silent
    int32_t octave = 4;
    bool background = false;  // false: the program waits for the music
};

// Where the built sound goes.
class MusicSink {
public:
    virtual ~MusicSink() = default;
    // A chunk of frames to queue; the sink owns `data` (malloc'd) from here on.
    virtual void chunk(uint8_t* data, uint32_t byte_length) = 0;
    // The foreground marker: the program waits until the queue reaches it.
    virtual void marker() = 0;
    // Bytes of sound the sink can still take; a string whose sound would go
    // beyond is an error.
    virtual uint64_t room_bytes() = 0;
};

// The program's variables, for "=" references (null base: none).
struct MusicVariables {
    const uint8_t* base = nullptr;
    uint32_t bytes = 0;
};

// A variable reference after "=": a type byte, a 16-bit offset into the
// variable block (low byte first) and, for a bit field, a width byte.
//   type 1..11 (bits 5 and 7 clear): 1 int8, 2 uint8, 3 int16, 4 uint16,
//     5 int32, 6 uint32, 7 int64, 8 uint64, 9 float32, 10 float64,
//     11 float80 (the x87 extended format, 10 bytes)
//   type with bit 6 (64) set: a bit field. Bit 5 (32) marks it unsigned, bit 7
//     (128) signed, exactly one of the two; bits 0-2 give the first bit of the
//     field within the byte at the offset, bits 3-4 are 0. The width byte
//     that follows the offset gives the field's width, 1..56 bits.
// Integers are little-endian; floating values are rounded to the nearest
// integer (ties to even). A reference outside the block, an unknown type or a
// value outside the signed 32-bit range is an error.
constexpr uint8_t music_ref_bit_field = 64;
constexpr uint8_t music_ref_unsigned = 32;
constexpr uint8_t music_ref_signed = 128;

// Interprets `length` bytes of `text`. The sound up to the end of the string,
// or up to an "MB", is handed to the sink as one chunk, so it plays without a
// break. Returns false at the first error, sound past the sink's room being
// one; what was handed to the sink before it stays there, what was still
// being built is dropped. The state keeps every setting made up to the error.
bool music_interpret(const uint8_t* text, uint32_t length, MusicState& state, MusicSink& sink,
                     const MusicVariables& variables);

// The duration in seconds of a note of length n (0: the default length) at
// the state's tempo, with `dots` dots.
double music_note_seconds(const MusicState& state, int32_t n, uint32_t dots);
