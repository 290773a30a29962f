// Decoder children through posix_spawn of /proc/self/exe: the limits set in the
// child before the decoder runs, the wall clock watched on a pidfd by the
// parent, results in a memory file or through pipes, and every child reaped.
#include "runtime/platform/decoder_child.h"
#include "runtime/platform/child_process.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <condition_variable>
#include <mutex>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"

extern char** environ;

// The linker's bounds of the decoder table, and, in a fuzzing build, of the
// coverage counters; absent (null) where no such section was linked.
extern "C" {
extern const DecoderEntry __start_morv_decoders[] __attribute__((weak));
extern const DecoderEntry __stop_morv_decoders[] __attribute__((weak));
extern uint8_t __start___sancov_cntrs[] __attribute__((weak));
extern uint8_t __stop___sancov_cntrs[] __attribute__((weak));
// NOLINTNEXTLINE(readability-identifier-naming): the sanitizers' own name
void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));
}

namespace {

constexpr const char* child_marker = "--morv-decoder";
// The child's descriptors: the input file, the output, the stream's requests
// and the fuzzing build's coverage counters.
constexpr int child_input_fd = 3, child_output_fd = 4, child_control_fd = 5, child_coverage_fd = 6;
constexpr int first_free_fd = 7;
// Where the parent's descriptors go before they are handed over, so that no
// hand-over overwrites another's source.
constexpr int staging_fd_floor = 16;
constexpr uint32_t wait_slice_ms = 20;
constexpr uint32_t kill_wait_ms = 200;
constexpr size_t leftover_slots = 32;

// Killed children that had not ended when we stopped waiting: reaped later.
std::atomic<int32_t> Leftovers[leftover_slots];

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool sanitized_build = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool sanitized_build = true;
#else
constexpr bool sanitized_build = false;
#endif
#else
constexpr bool sanitized_build = false;
#endif

uint64_t now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint64_t(t.tv_sec) * 1000 + uint64_t(t.tv_nsec) / 1000000;
}

bool stopping() { return stop_threads.load(std::memory_order_relaxed) != 0; }

size_t coverage_size() {
    if (!__start___sancov_cntrs || !__stop___sancov_cntrs) return 0;
    return static_cast<size_t>(__stop___sancov_cntrs - __start___sancov_cntrs);
}

// ---- the child ------------------------------------------------------------------------------

int ChildCoverageFd = -1;

void dump_coverage() {
    if (ChildCoverageFd < 0) return;
    const size_t n = coverage_size();
    if (n) (void)!pwrite(ChildCoverageFd, __start___sancov_cntrs, n, 0);
}

// A long-lived child reports in steps: each report holds what was reached
// since the one before, which the parent takes before its next request.
void report_coverage_step() {
    if (ChildCoverageFd < 0) return;
    dump_coverage();
    if (const size_t n = coverage_size()) std::memset(__start___sancov_cntrs, 0, n);
}

void limit(int resource, uint64_t value) {
    rlimit r{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    setrlimit(resource, &r);
}

const DecoderEntry* find_decoder(const char* name) {
    if (!__start_morv_decoders || !__stop_morv_decoders) return nullptr;
    for (const DecoderEntry* e = __start_morv_decoders; e < __stop_morv_decoders; ++e)
        if (e->name && std::strcmp(e->name, name) == 0) return e;
    return nullptr;
}

// Sets the limits and runs the decoder; its result is the exit status.
// Flags: 1 input, 2 stream, 4 coverage.
int run_decoder(const DecoderEntry* entry, uint64_t memory_mb, uint64_t cpu_seconds, uint64_t output_bytes,
                unsigned long flags, const std::vector<uint32_t>& words) {
    if (!entry || !entry->decode) return 121;
    limit(RLIMIT_CORE, 0);
    limit(RLIMIT_CPU, cpu_seconds ? cpu_seconds : 1);
    if (!(flags & 2)) limit(RLIMIT_FSIZE, output_bytes);
    // Sanitizers reserve terabytes of shadow: their own limits stand in (set
    // by the parent in their options).
    if (!sanitized_build) limit(RLIMIT_AS, memory_mb << 20);
    // An output past its limit and a parent that went away are failed writes,
    // which the decoder sees, not signals.
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    if (flags & 4) {
        ChildCoverageFd = child_coverage_fd;
        if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(dump_coverage);
    }
    const DecoderJob job{(flags & 1) ? child_input_fd : -1, child_output_fd, (flags & 2) ? child_control_fd : -1,
                         words.data(), static_cast<uint32_t>(words.size())};
    const int status = entry->decode(job);
    dump_coverage();
    return status < 0 || status > 125 ? 125 : status;
}

// argv: marker, name, memory MiB, cpu seconds, output bytes, flags, then the
// job words.
int run_child(int argc, char** argv) {
    if (argc < 7) return 120;
    std::vector<uint32_t> words;
    for (int i = 7; i < argc; ++i) words.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 16)));
    return run_decoder(find_decoder(argv[2]), std::strtoull(argv[3], nullptr, 10), std::strtoull(argv[4], nullptr, 10),
                       std::strtoull(argv[5], nullptr, 10), std::strtoul(argv[6], nullptr, 10), words);
}

// ---- the decoder server ----------------------------------------------------------------------
// Starting the program afresh for every file costs tens of milliseconds (its
// libraries mapped and linked again). One child started that way serves the
// runs instead: it is single-threaded, so it may fork, and each run is a
// fork of it that sets its limits and runs one decoder. The server watches
// the run's wall clock and answers how it ended.

constexpr const char* server_marker = "--morv-decoder-server";
constexpr int server_socket_fd = 3;
constexpr uint32_t max_request_words = 64;

struct ServerRequest {
    char name[64];
    uint32_t memory_mb, cpu_seconds, wall_ms, flags, word_count;
    uint64_t output_bytes;
    uint32_t words[max_request_words];
};
struct ServerAnswer {
    int32_t how;  // 0 exited, 1 killed by a signal, 2 killed at the wall clock, 3 not started
    int32_t status;  // the exit status or the signal
};

int receive_request(int sock, ServerRequest* request, int fds[3], int* fd_count) {
    iovec io{request, sizeof *request};
    alignas(cmsghdr) char control[CMSG_SPACE(3 * sizeof(int))];
    msghdr m{};
    m.msg_iov = &io;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(sock, &m, MSG_CMSG_CLOEXEC);
    *fd_count = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
            *fd_count = static_cast<int>((c->cmsg_len - CMSG_LEN(0)) / sizeof(int));
            if (*fd_count > 3) *fd_count = 3;
            std::memcpy(fds, CMSG_DATA(c), sizeof(int) * size_t(*fd_count));
        }
    return static_cast<int>(n);
}

// In the forked run: its descriptors in place, the server's signals undone,
// and it dies with the server.
[[noreturn]] void run_forked(const ServerRequest& r, const int fds[3], pid_t server) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != server) _exit(124);
    // fds: output, then input and coverage when the flags say so. Each is
    // first moved clear of the numbers it and the others are going to.
    close(server_socket_fd);
    int moved[3] = {-1, -1, -1};
    for (int i = 0; i < 3; ++i)
        if (fds[i] >= 0) moved[i] = fcntl(fds[i], F_DUPFD_CLOEXEC, staging_fd_floor);
    int at = 0;
    const int output = moved[at++];
    const int input = (r.flags & 1) ? moved[at++] : -1;
    const int coverage = (r.flags & 4) ? moved[at++] : -1;
    if (output < 0 || dup2(output, child_output_fd) < 0 || (input >= 0 && dup2(input, child_input_fd) < 0) ||
        (coverage >= 0 && dup2(coverage, child_coverage_fd) < 0))
        _exit(123);
    close_range(first_free_fd, ~0U, 0);
    // The counters this process inherited are the server's; the run's own start at zero.
    if (coverage >= 0 && coverage_size()) std::memset(__start___sancov_cntrs, 0, coverage_size());
    std::vector<uint32_t> words(r.words, r.words + std::min(r.word_count, max_request_words));
    char name[sizeof r.name + 1] = {};
    std::memcpy(name, r.name, sizeof r.name);
    _exit(run_decoder(find_decoder(name), r.memory_mb, r.cpu_seconds, r.output_bytes, r.flags, words));
}

ServerAnswer serve_one(const ServerRequest& r, const int fds[3]) {
    const pid_t server = getpid();
    const pid_t pid = fork();
    if (pid == 0) run_forked(r, fds, server);
    if (pid < 0) return {3, 0};
    const int32_t pidfd = static_cast<int32_t>(syscall(SYS_pidfd_open, pid, 0));
    const uint64_t deadline = now_ms() + r.wall_ms;
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        const uint64_t now = now_ms();
        if (now >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            if (pidfd >= 0) close(pidfd);
            return {2, SIGKILL};
        }
        pollfd p{pidfd, POLLIN, 0};
        poll(pidfd >= 0 ? &p : nullptr, pidfd >= 0 ? 1 : 0, static_cast<int>(std::min<uint64_t>(deadline - now, 20)));
    }
    if (pidfd >= 0) close(pidfd);
    if (WIFEXITED(status)) return {0, WEXITSTATUS(status)};
    return {1, WIFSIGNALED(status) ? WTERMSIG(status) : SIGKILL};
}

int run_server() {
    limit(RLIMIT_CORE, 0);
    signal(SIGPIPE, SIG_IGN);
    for (;;) {
        ServerRequest r{};
        int fds[3] = {-1, -1, -1}, count = 0;
        const int n = receive_request(server_socket_fd, &r, fds, &count);
        if (n == 0) return 0;  // the program closed its end: it is gone or done
        if (n < 0) {
            if (errno == EINTR) continue;
            return 0;
        }
        const int wanted = 1 + ((r.flags & 1) ? 1 : 0) + ((r.flags & 4) ? 1 : 0);
        const ServerAnswer a = n == int(sizeof r) && count == wanted ? serve_one(r, fds) : ServerAnswer{3, 0};
        for (int i = 0; i < count; ++i) close(fds[i]);
        if (send(server_socket_fd, &a, sizeof a, MSG_NOSIGNAL) != ssize_t(sizeof a)) return 0;
    }
}

// Runs before the program's own initialisers and main: a decoder child never
// reaches them.
__attribute__((constructor(101))) void decoder_child_enter(int argc, char** argv, char**) {
    if (argc < 2 || !argv || !argv[1]) return;
    if (std::strcmp(argv[1], child_marker) == 0) _exit(run_child(argc, argv));
    if (std::strcmp(argv[1], server_marker) == 0) _exit(run_server());
}

// ---- the parent -----------------------------------------------------------------------------

void reap_leftovers() {
    for (std::atomic<int32_t>& slot : Leftovers) {
        int32_t pid = slot.load(std::memory_order_relaxed);
        if (pid <= 0) continue;
        const pid_t r = waitpid(pid, nullptr, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) slot.compare_exchange_strong(pid, 0);
    }
}

// A killed child that has not ended yet: kept for a later reap.
void leave_to_reap(int32_t pid) {
    for (std::atomic<int32_t>& slot : Leftovers) {
        int32_t empty = 0;
        if (slot.compare_exchange_strong(empty, pid)) return;
    }
    waitpid(pid, nullptr, 0);  // the table is full: the kill ends it soon
}

void close_fd(int32_t* fd) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
}

int32_t open_pidfd(pid_t pid) { return static_cast<int32_t>(syscall(SYS_pidfd_open, pid, 0)); }

// Waits up to timeout_ms for the child to end and reaps it; false when it
// has not ended (or the shutdown began, with `watch_stop`).
bool wait_child(pid_t pid, int32_t pidfd, uint32_t timeout_ms, bool watch_stop, int* status) {
    const uint64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        pid_t r = waitpid(pid, status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno == ECHILD) {  // reaped by the system: SIGCHLD is ignored
            *status = SIGKILL;  // reads as ended by a signal: nothing of it is trusted
            return true;
        }
        if (watch_stop && stopping()) return false;
        const uint64_t now = now_ms();
        if (now >= deadline) return false;
        const int slice = static_cast<int>(std::min<uint64_t>(deadline - now, wait_slice_ms));
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            poll(&p, 1, slice);
        } else {
            poll(nullptr, 0, 1);
        }
    }
}

void kill_child(pid_t pid, int32_t pidfd) {
    kill(pid, SIGKILL);
    int status = 0;
    if (!wait_child(pid, pidfd, kill_wait_ms, false, &status)) leave_to_reap(pid);
}

// The environment a child gets: ours, with a sanitizer's limits standing in
// for the address-space limit it cannot have.
// The server gets no resident-size limit: its watching thread would make it
// multi-threaded, and it forks.
std::vector<std::string> child_environment(const DecoderLimits& limits, bool server) {
    std::vector<std::string> env;
    // No symbolised reports: a decoder's crash is an expected refusal, and reading
    // symbols would take longer than the decoding.
    const std::string caps = ":detect_leaks=0:symbolize=0:allocator_may_return_null=1" +
        (server ? std::string() : ":hard_rss_limit_mb=" + std::to_string(limits.memory_mb)) +
        ":max_allocation_size_mb=" + std::to_string(limits.memory_mb);
    bool asan = false, tsan = false;
    for (char** e = environ; e && *e; ++e) {
        std::string v(*e);
        if (sanitized_build && v.rfind("ASAN_OPTIONS=", 0) == 0) v += caps, asan = true;
        if (sanitized_build && v.rfind("TSAN_OPTIONS=", 0) == 0) v += caps, tsan = true;
        env.push_back(std::move(v));
    }
    if (sanitized_build && !asan) env.push_back("ASAN_OPTIONS=" + caps.substr(1));
    if (sanitized_build && !tsan) env.push_back("TSAN_OPTIONS=" + caps.substr(1));
    return env;
}

// A copy of `fd` at or above the staging floor, close-on-exec; -1 on failure.
int32_t staged(int32_t fd) { return fd < 0 ? -1 : fcntl(fd, F_DUPFD_CLOEXEC, staging_fd_floor); }

struct Spawned {
    pid_t pid = 0;
    int32_t pidfd = -1;
};

// Starts the child with `hand_over` (source, child descriptor) pairs; every
// source is closed here afterwards.
bool spawn_decoder(const DecoderEntry* entry, const DecoderLimits& limits, uint32_t flags, const uint32_t* words,
                   uint32_t word_count, std::vector<std::pair<int32_t, int>> hand_over, Spawned* out) {
    std::vector<std::string> args = {"morv-decoder", server_marker};
    if (entry)
        args = {"morv-decoder",
                child_marker,
                entry->name,
                std::to_string(limits.memory_mb),
                std::to_string(limits.cpu_seconds),
                std::to_string(limits.output_bytes),
                std::to_string(flags)};
    char hex[16];
    for (uint32_t i = 0; i < word_count; ++i) {
        std::snprintf(hex, sizeof hex, "%x", words[i]);
        args.emplace_back(hex);
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env = child_environment(limits, entry == nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    bool ok = true;
    for (auto& [fd, target] : hand_over) {
        const int32_t high = staged(fd);
        close_fd(&fd);
        fd = high;
        ok = ok && fd >= 0;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    for (auto& [fd, target] : hand_over) posix_spawn_file_actions_adddup2(&actions, fd, target);
    posix_spawn_file_actions_addclosefrom_np(&actions, first_free_fd);
    spawn_signal_defaults(&attr);
    pid_t pid = 0;
    ok = ok && posix_spawn(&pid, "/proc/self/exe", &actions, &attr, argv.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    for (auto& [fd, target] : hand_over) close_fd(&fd);
    if (!ok) return false;
    out->pid = pid;
    out->pidfd = open_pidfd(pid);
    return true;
}

// A fuzzing build: the child's coverage counters, added to ours so the
// fuzzer sees what the decoding reached.
void merge_coverage(int32_t fd) {
    const size_t n = coverage_size();
    if (fd < 0 || !n) return;
    void* map = mmap(nullptr, n, PROT_READ, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) return;
    const uint8_t* child = static_cast<const uint8_t*>(map);
    for (size_t i = 0; i < n; ++i)
        if (child[i]) {
            const unsigned sum = unsigned{__start___sancov_cntrs[i]} + child[i];
            __start___sancov_cntrs[i] = static_cast<uint8_t>(sum > 255 ? 255 : sum);
        }
    munmap(map, n);
}

// The memory file emptied once its counts are ours, for the next report.
void clear_coverage(int32_t fd) {
    const size_t n = coverage_size();
    if (fd < 0 || !n || ftruncate(fd, 0) != 0 || ftruncate(fd, static_cast<off_t>(n)) != 0) return;
}

int32_t coverage_file() {
    const size_t n = coverage_size();
    if (!n) return -1;
    int32_t fd = memfd_create("morv-decoder-coverage", MFD_CLOEXEC);
    if (fd >= 0 && ftruncate(fd, static_cast<off_t>(n)) != 0) close_fd(&fd);
    return fd;
}

DecoderOutcome outcome_of(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status) == 0 ? DecoderOutcome::done : DecoderOutcome::refused;
    return DecoderOutcome::crashed;
}

bool read_memory_file(int32_t fd, uint64_t limit, std::vector<uint8_t>* output) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 0 || uint64_t(st.st_size) > limit) return false;
    const size_t n = static_cast<size_t>(st.st_size);
    if (n == 0) {
        output->clear();
        return true;
    }
    // Mapped and copied once: no zero-filled buffer read into afterwards.
    void* map = mmap(nullptr, n, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (map == MAP_FAILED) return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(map);
    output->assign(bytes, bytes + n);
    munmap(map, n);
    return true;
}

// One run in a child started for it alone.
DecoderOutcome run_spawned(const DecoderEntry& entry, int32_t input_fd, int32_t out, int32_t coverage,
                           const uint32_t* words, uint32_t word_count, const DecoderLimits& limits) {
    std::vector<std::pair<int32_t, int>> hand_over = {{staged(out), child_output_fd}};
    if (input_fd >= 0) hand_over.push_back({staged(input_fd), child_input_fd});
    if (coverage >= 0) hand_over.push_back({staged(coverage), child_coverage_fd});
    const uint32_t flags = (input_fd >= 0 ? 1u : 0u) | (coverage >= 0 ? 4u : 0u);
    Spawned child;
    if (!spawn_decoder(&entry, limits, flags, words, word_count, std::move(hand_over), &child))
        return DecoderOutcome::not_started;
    int status = 0;
    DecoderOutcome result;
    if (wait_child(child.pid, child.pidfd, limits.wall_ms, true, &status)) {
        result = outcome_of(status);
        merge_coverage(coverage);
    } else {
        result = stopping() ? DecoderOutcome::stopped : DecoderOutcome::timed_out;
        kill_child(child.pid, child.pidfd);
    }
    close_fd(&child.pidfd);
    return result;
}

// The program's decoder server: started on first use, stopped when it fails
// or the shutdown begins; one run at a time.
struct DecoderServer {
    std::mutex lock;  // guards `busy`
    std::condition_variable freed;  // `busy` went false
    bool busy = false;  // a run is using the server (its fields belong to that run)
    pid_t pid = 0;
    int32_t pidfd = -1;
    int32_t sock = -1;
};
DecoderServer Server;
// The largest single allocation a sanitizer lets the server's runs make.
constexpr uint32_t server_allocation_mb = 2048;
// How long past a run's wall clock the server may take to answer.
constexpr uint32_t server_answer_grace_ms = 3000;

void server_stop() {
    close_fd(&Server.sock);
    if (Server.pid > 0) kill_child(Server.pid, Server.pidfd);
    close_fd(&Server.pidfd);
    Server.pid = 0;
}

bool server_start() {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0) return false;
    DecoderLimits limits;
    limits.memory_mb = server_allocation_mb;
    Spawned child;
    if (!spawn_decoder(nullptr, limits, 0, nullptr, 0, {{staged(pair[1]), server_socket_fd}}, &child)) {
        close(pair[0]), close(pair[1]);
        return false;
    }
    close(pair[1]);
    Server.pid = child.pid;
    Server.pidfd = child.pidfd;
    Server.sock = pair[0];
    return true;
}

bool server_send(const ServerRequest& r, const int32_t* fds, int count) {
    iovec io{const_cast<ServerRequest*>(&r), sizeof r};
    alignas(cmsghdr) char control[CMSG_SPACE(3 * sizeof(int))] = {};
    msghdr m{};
    m.msg_iov = &io;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = CMSG_SPACE(sizeof(int) * size_t(count));
    cmsghdr* c = CMSG_FIRSTHDR(&m);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int) * size_t(count));
    std::memcpy(CMSG_DATA(c), fds, sizeof(int) * size_t(count));
    return sendmsg(Server.sock, &m, MSG_NOSIGNAL) == ssize_t(sizeof r);
}

// The run through the server; false when the server cannot take it (the run
// then gets a child of its own).
bool run_on_server(const DecoderEntry& entry, int32_t input_fd, int32_t out, int32_t coverage, const uint32_t* words,
                   uint32_t word_count, const DecoderLimits& limits, DecoderOutcome* result) {
    if (word_count > max_request_words || std::strlen(entry.name) >= sizeof(ServerRequest{}.name)) return false;
    {
        std::unique_lock<std::mutex> hold(Server.lock);
        while (Server.busy) {
            if (stopping()) {
                *result = DecoderOutcome::stopped;
                return true;
            }
            Server.freed.wait_for(hold, std::chrono::milliseconds(wait_slice_ms));
        }
        Server.busy = true;
    }
    struct Release {
        ~Release() {
            {
                std::lock_guard<std::mutex> hold(Server.lock);
                Server.busy = false;
            }
            Server.freed.notify_one();
        }
    } release;
    if (Server.sock < 0 && !server_start()) return false;
    ServerRequest r{};
    std::strncpy(r.name, entry.name, sizeof r.name - 1);
    r.memory_mb = limits.memory_mb;
    r.cpu_seconds = limits.cpu_seconds;
    r.wall_ms = limits.wall_ms;
    r.output_bytes = limits.output_bytes;
    r.flags = (input_fd >= 0 ? 1u : 0u) | (coverage >= 0 ? 4u : 0u);
    r.word_count = word_count;
    if (word_count) std::memcpy(r.words, words, sizeof(uint32_t) * word_count);
    int32_t fds[3] = {out, -1, -1};
    int count = 1;
    if (input_fd >= 0) fds[count++] = input_fd;
    if (coverage >= 0) fds[count++] = coverage;
    if (!server_send(r, fds, count)) {
        server_stop();  // gone or broken: a new one next time
        return false;
    }
    const uint64_t deadline = now_ms() + limits.wall_ms + server_answer_grace_ms;
    ServerAnswer a{};
    for (;;) {
        if (stopping() || now_ms() >= deadline) {
            *result = stopping() ? DecoderOutcome::stopped : DecoderOutcome::timed_out;
            server_stop();  // its run dies with it
            return true;
        }
        pollfd p{Server.sock, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait_slice_ms)) <= 0) continue;
        const ssize_t n = recv(Server.sock, &a, sizeof a, 0);
        if (n == ssize_t(sizeof a)) break;
        if (n < 0 && errno == EINTR) continue;
        server_stop();
        *result = DecoderOutcome::crashed;
        return true;
    }
    if (a.how == 3) return false;
    merge_coverage(coverage);
    *result = a.how == 0 ? (a.status == 0 ? DecoderOutcome::done : DecoderOutcome::refused)
                         : (a.how == 2 ? DecoderOutcome::timed_out : DecoderOutcome::crashed);
    return true;
}

}  // namespace

int32_t decoder_open_regular(const char* path) {
    struct stat st {};
    // Looked at before opening: opening a device or a FIFO can wait or act.
    if (!path || stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // replaced in between
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

namespace {

// Runs the decoder with its answer in a memory file, left open in *out
// (-1 unless the run is done).
DecoderOutcome run_into_memory_file(const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                                    uint32_t word_count, const DecoderLimits& limits, int32_t* out) {
    *out = -1;
    if (stopping()) return DecoderOutcome::stopped;
    reap_leftovers();
    int32_t file = memfd_create("morv-decoder-output", MFD_CLOEXEC);
    if (file < 0) return DecoderOutcome::not_started;
    int32_t coverage = -1;
    if (const size_t n = coverage_size()) {
        coverage = memfd_create("morv-decoder-coverage", MFD_CLOEXEC);
        if (coverage >= 0 && ftruncate(coverage, static_cast<off_t>(n)) != 0) close_fd(&coverage);
    }
    DecoderOutcome result = DecoderOutcome::not_started;
    if (!run_on_server(entry, input_fd, file, coverage, words, word_count, limits, &result))
        result = run_spawned(entry, input_fd, file, coverage, words, word_count, limits);
    close_fd(&coverage);
    if (result == DecoderOutcome::done)
        *out = file;
    else
        close_fd(&file);
    return result;
}

// The memory file's size, when within the limit.
bool answer_size(int32_t fd, uint64_t limit, size_t* size) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 0 || uint64_t(st.st_size) > limit) return false;
    *size = static_cast<size_t>(st.st_size);
    return true;
}

}  // namespace

DecoderOutcome decoder_child_run(const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                                 uint32_t word_count, const DecoderLimits& limits, std::vector<uint8_t>* output) {
    int32_t file = -1;
    DecoderOutcome result = run_into_memory_file(entry, input_fd, words, word_count, limits, &file);
    if (result == DecoderOutcome::done && !read_memory_file(file, limits.output_bytes, output))
        result = DecoderOutcome::crashed;
    close_fd(&file);
    return result;
}

DecoderOutcome decoder_child_run_mapped(const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                                        uint32_t word_count, const DecoderLimits& limits, DecoderAnswer* answer) {
    answer->reset();
    int32_t file = -1;
    DecoderOutcome result = run_into_memory_file(entry, input_fd, words, word_count, limits, &file);
    size_t size = 0;
    if (result == DecoderOutcome::done && !(answer_size(file, limits.output_bytes, &size) && answer->map(file, size)))
        result = DecoderOutcome::crashed;
    close_fd(&file);
    return result;
}

void DecoderAnswer::reset() {
    if (mapping_) munmap(mapping_, size_);
    data_ = nullptr;
    size_ = 0;
    mapping_ = nullptr;
}

bool DecoderAnswer::map(int32_t fd, size_t size) {
    reset();
    if (size == 0) return true;
    // Private: the program's view stays as it was mapped whatever the file does.
    void* m = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (m == MAP_FAILED) return false;
    mapping_ = m;
    data_ = static_cast<const uint8_t*>(m);
    size_ = size;
    return true;
}

bool decoder_stream_start(DecoderStream* stream, const DecoderEntry& entry, int32_t input_fd, const uint32_t* words,
                          uint32_t word_count, const DecoderLimits& limits) {
    *stream = DecoderStream{};
    if (stopping()) return false;
    reap_leftovers();
    // Requests go through a local socket, which can carry files too.
    int up[2], down[2];  // child to parent, parent to child
    if (pipe2(up, O_CLOEXEC) != 0) return false;
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, down) != 0) {
        close(up[0]), close(up[1]);
        return false;
    }
    std::vector<std::pair<int32_t, int>> hand_over = {{staged(up[1]), child_output_fd},
                                                      {staged(down[0]), child_control_fd}};
    close(up[1]), close(down[0]);
    if (input_fd >= 0) hand_over.push_back({staged(input_fd), child_input_fd});
    int32_t coverage = coverage_file();
    if (coverage >= 0) hand_over.push_back({staged(coverage), child_coverage_fd});
    const uint32_t flags = (input_fd >= 0 ? 1u : 0u) | 2u | (coverage >= 0 ? 4u : 0u);
    Spawned child;
    if (!spawn_decoder(&entry, limits, flags, words, word_count, std::move(hand_over), &child)) {
        close(up[0]), close(down[1]);
        close_fd(&coverage);
        return false;
    }
    stream->pid = child.pid;
    stream->pidfd = child.pidfd;
    stream->from_child = up[0];
    stream->to_child = down[1];
    stream->coverage = coverage;
    return true;
}

int64_t decoder_stream_read(DecoderStream* stream, void* buffer, size_t size, uint32_t timeout_ms) {
    if (stream->from_child < 0) return 0;
    const uint64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        pollfd p{stream->from_child, POLLIN, 0};
        const uint64_t now = now_ms();
        const int slice = now >= deadline ? 0 : static_cast<int>(std::min<uint64_t>(deadline - now, wait_slice_ms));
        if (poll(&p, 1, slice) > 0) {
            const ssize_t n = read(stream->from_child, buffer, size);
            if (n >= 0) return n;
            if (errno != EINTR && errno != EAGAIN) return 0;
        }
        if (stopping() || now_ms() >= deadline) return -1;
    }
}

bool decoder_stream_write(DecoderStream* stream, const void* data, size_t size, uint32_t timeout_ms) {
    if (stream->to_child < 0) return false;
    // A child that ended makes the write fail with EPIPE: the signal it also
    // raises is held back on this thread and taken away.
    sigset_t pipe_signal, before;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &before);
    const uint64_t deadline = now_ms() + timeout_ms;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    bool ok = true;
    while (size > 0 && ok) {
        pollfd w{stream->to_child, POLLOUT, 0};
        const uint64_t now = now_ms();
        if (stopping() || now >= deadline) {
            ok = false;
            break;
        }
        if (poll(&w, 1, static_cast<int>(std::min<uint64_t>(deadline - now, wait_slice_ms))) <= 0) continue;
        const ssize_t n = write(stream->to_child, p, size);
        if (n > 0) {
            p += n;
            size -= static_cast<size_t>(n);
        } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
            ok = false;
        }
    }
    if (!ok && errno == EPIPE) {
        const timespec zero{0, 0};
        sigtimedwait(&pipe_signal, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return ok;
}

bool decoder_stream_send_file(DecoderStream* stream, int32_t fd, const void* data, size_t size, uint32_t timeout_ms) {
    if (stream->to_child < 0 || fd < 0 || size == 0) return false;
    // The descriptor rides on the first byte; the rest follows as plain bytes.
    char room[CMSG_SPACE(sizeof(int))] = {};
    iovec first{const_cast<void*>(data), 1};
    msghdr m{};
    m.msg_iov = &first;
    m.msg_iovlen = 1;
    m.msg_control = room;
    m.msg_controllen = sizeof room;
    cmsghdr* c = CMSG_FIRSTHDR(&m);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    const uint64_t deadline = now_ms() + timeout_ms;
    for (;;) {
        pollfd w{stream->to_child, POLLOUT, 0};
        const uint64_t now = now_ms();
        if (stopping() || now >= deadline) return false;
        if (poll(&w, 1, static_cast<int>(std::min<uint64_t>(deadline - now, wait_slice_ms))) <= 0) continue;
        const ssize_t n = sendmsg(stream->to_child, &m, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n == 1) break;
        if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
    }
    const uint64_t now = now_ms();
    return size == 1 ||
        decoder_stream_write(stream, static_cast<const uint8_t*>(data) + 1, size - 1,
                             static_cast<uint32_t>(deadline > now ? deadline - now : 0));
}

void decoder_stream_take_coverage(DecoderStream* stream) {
    merge_coverage(stream->coverage);
    clear_coverage(stream->coverage);
}

void decoder_stream_stop(DecoderStream* stream) {
    close_fd(&stream->from_child);
    close_fd(&stream->to_child);
    if (stream->pid > 0) kill_child(stream->pid, stream->pidfd);
    close_fd(&stream->pidfd);
    decoder_stream_take_coverage(stream);  // what a child that ended by itself reported last
    close_fd(&stream->coverage);
    *stream = DecoderStream{};
}

bool decoder_receive(int32_t control_fd, void* data, size_t size, int32_t* fd) {
    *fd = -1;
    if (control_fd < 0 || size == 0) return false;
    char room[CMSG_SPACE(sizeof(int))] = {};
    iovec first{data, 1};
    msghdr m{};
    m.msg_iov = &first;
    m.msg_iovlen = 1;
    m.msg_control = room;
    m.msg_controllen = sizeof room;
    ssize_t n;
    do n = recvmsg(control_fd, &m, MSG_CMSG_CLOEXEC);
    while (n < 0 && errno == EINTR);
    if (n != 1) return false;
    for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && c->cmsg_len >= CMSG_LEN(sizeof(int)))
            std::memcpy(fd, CMSG_DATA(c), sizeof *fd);
    uint8_t* p = static_cast<uint8_t*>(data) + 1;
    for (size_t left = size - 1; left > 0;) {
        const ssize_t r = read(control_fd, p, left);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            if (*fd >= 0) close(*fd);
            *fd = -1;
            return false;
        }
        p += r;
        left -= static_cast<size_t>(r);
    }
    return true;
}

void decoder_coverage_report() { report_coverage_step(); }

bool decoder_write(int32_t fd, const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool decoder_read_input(int32_t fd, size_t max_bytes, std::vector<uint8_t>* bytes) {
    bytes->clear();
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size < 0 || uint64_t(st.st_size) > max_bytes) return false;
    // The file may grow while it is read: never past the limit.
    bytes->resize(static_cast<size_t>(st.st_size) + 1);
    size_t at = 0;
    for (;;) {
        if (at == bytes->size()) {
            if (bytes->size() > max_bytes) return false;
            bytes->resize(std::min(max_bytes + 1, bytes->size() * 2));
        }
        const ssize_t n = pread(fd, bytes->data() + at, bytes->size() - at, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        at += static_cast<size_t>(n);
    }
    if (at > max_bytes) return false;
    bytes->resize(at);
    return true;
}
