// Decoders in a child process: a file handed to a third-party parser is read
// in a copy of the running program started for that alone, under limits on
// memory, processor time and output, so a parser that crashes, loops or eats
// memory costs the program a refused file and nothing else.
//
// The child is the program's own executable (/proc/self/exe) started with
// posix_spawn and a marker argument; a constructor that runs before the
// program's own initialisers and main sees the marker, runs the decoder named
// and ends the process. Decoders are found by name in a table the linker
// builds (DECODER_CHILD_ENTRY), so any program linked with the runtime can be
// its own decoder without a helper file beside it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// What a decoder sees in the child.
struct DecoderJob {
    int32_t input_fd;  // the file to decode, read-only and regular; -1 when none was given
    int32_t output_fd;  // where the results go: a memory file (one-shot) or a pipe to the parent (stream)
    int32_t control_fd;  // streams: a pipe from the parent; -1 in a one-shot run
    const uint32_t* words;  // the job words the parent gave
    uint32_t word_count;
};

// A decoder's entry point in the child; its result is the child's exit status
// (0: the output is complete; anything else refuses the file).
using DecoderFunction = int (*)(const DecoderJob& job);

struct DecoderEntry {
    const char* name;  // unique among the program's decoders
    DecoderFunction decode;
};

// Defines `variable`, the decoder `name` running `function`, in the table the
// child searches. Declare it `extern const DecoderEntry variable;` where the
// parent names it: naming it is what links the decoder into every program that
// can ask for it.
#define DECODER_CHILD_ENTRY(variable, name, function)                                       \
    extern const DecoderEntry variable;                                                     \
    __attribute__((used, retain, section("morv_decoders"), aligned(alignof(DecoderEntry)))) \
    const DecoderEntry variable = {name, function}

struct DecoderLimits {
    uint32_t memory_mb = 1024;  // address space (under a sanitizer: its heap and resident size)
    uint32_t cpu_seconds = 10;  // processor time
    uint32_t wall_ms = 5000;  // one-shot runs: the parent kills the child after this long
    uint64_t output_bytes = 64u << 20;  // one-shot runs: the memory file's size
};

enum class DecoderOutcome : uint8_t {
    done,  // exit status 0, output within its bound
    refused,  // the decoder ended with another status (it refused the file)
    crashed,  // ended by a signal, its processor time or an overrun output
    timed_out,  // still running at the wall-clock limit: killed
    not_started,  // the child could not be started
    stopped,  // the shutdown began: given up at once
};

// Opens `path` for decoding: read-only, and only when it is a regular file (a
// FIFO, device or folder gives -1 at once, never waiting for a writer). The
// descriptor is close-on-exec and blocking; the caller closes it.
int32_t decoder_open_regular(const char* path);

// Runs decoder `entry` once in a child on `input_fd` (or -1) with the job
// words, and takes what it wrote into `output` (at most limits.output_bytes).
// `output` is filled only when the outcome is done. Safe on any thread; waits
// in slices that a shutdown ends. Every child is reaped.
DecoderOutcome decoder_child_run(const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                                 uint32_t word_count, const DecoderLimits& limits, std::vector<uint8_t>* output);

// A one-shot run's answer mapped from its memory file instead of copied (for
// large answers: a picture's pixels). Empty until a run fills it; unmapped
// when it goes or is filled again.
class DecoderAnswer {
public:
    DecoderAnswer() = default;
    DecoderAnswer(const DecoderAnswer&) = delete;
    DecoderAnswer& operator=(const DecoderAnswer&) = delete;
    ~DecoderAnswer() { reset(); }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    void reset();
    // Maps `size` bytes of the memory file `fd` (the run's own business).
    bool map(int32_t fd, size_t size);

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    void* mapping_ = nullptr;
};

// decoder_child_run with the answer mapped rather than copied.
DecoderOutcome decoder_child_run_mapped(const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                                        uint32_t word_count, const DecoderLimits& limits, DecoderAnswer* answer);

// A long-lived decoder child that a stream talks to through a pipe and a
// local socket, which also carries files handed to it.
struct DecoderStream {
    int32_t pid = 0;
    int32_t pidfd = -1;
    int32_t from_child = -1;  // the parent reads the child's output here
    int32_t to_child = -1;  // and writes its requests here
    int32_t coverage = -1;  // a fuzzing build: what the child reached and reported
};

// Starts decoder `entry` on `input_fd` (or -1) with the job words, under
// limits.memory_mb and limits.cpu_seconds (wall_ms and output_bytes do not
// apply: the caller bounds what it reads). Both descriptors are close-on-exec;
// a write to a child that ended fails with EPIPE rather than a signal. False
// when it did not start.
bool decoder_stream_start(DecoderStream* stream, const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                          uint32_t word_count, const DecoderLimits& limits);
// Reads what the child wrote: up to `size` bytes, waiting at most timeout_ms
// in slices that a shutdown ends. Returns the count read, 0 once the child
// closed its output (it ended), or -1 when nothing came in time.
int64_t decoder_stream_read(DecoderStream* stream, void* buffer, size_t size, uint32_t timeout_ms);
// Writes all of `size` bytes to the child, waiting at most timeout_ms; false
// when the child is gone or did not take them in time.
bool decoder_stream_write(DecoderStream* stream, const void* data, size_t size, uint32_t timeout_ms);
// Writes `size` bytes to the child with a copy of `fd` handed along with them
// (the child takes both with decoder_receive), waiting at most timeout_ms;
// false when the child is gone or did not take them in time.
bool decoder_stream_send_file(DecoderStream* stream, int32_t fd, const void* data, size_t size, uint32_t timeout_ms);
// A fuzzing build: adds to ours what the child reported reaching since the
// last call (decoder_coverage_report); nothing in other builds.
void decoder_stream_take_coverage(DecoderStream* stream);
// Ends the child: closes the pipes, kills it and reaps it (one that does not
// die at once is reaped by a later call). The record is empty afterwards.
void decoder_stream_stop(DecoderStream* stream);

// In the child: writes all of `size` bytes to `fd`; false when it could not.
bool decoder_write(int32_t fd, const void* data, size_t size);
// In the child of a stream: reads exactly `size` bytes of a request, and the
// descriptor handed along with them into *fd (-1 when none came; the caller
// closes it). False once the parent closed its end or sent a short request.
bool decoder_receive(int32_t control_fd, void* data, size_t size, int32_t* fd);
// In the child of a stream, in a fuzzing build: reports what it reached since
// its last report, for the parent's decoder_stream_take_coverage.
void decoder_coverage_report();
// In the child: reads the whole input file (at most max_bytes) into `bytes`;
// false when it cannot be read or is larger.
bool decoder_read_input(int32_t fd, size_t max_bytes, std::vector<uint8_t>* bytes);
