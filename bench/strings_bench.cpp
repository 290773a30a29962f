// Runtime strings against a std::string baseline doing the same work: a
// statement loop that builds temporaries by concatenation, assigns them to
// variables and releases them; str_mid and str_right of long strings.
// Prints the time ratio ours / std::string for each pair and the general
// allocations each side made per iteration.
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/numbers.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"

namespace {
uint64_t NewCalls = 0;  // counts operator new, the baseline's general allocations
}

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t n) {
    ++NewCalls;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

const char* const Words[] = {"red", "green", "blue", "yellow", "magenta", "cyan", "white", "black"};
constexpr int word_count = 8;

std::string long_text(size_t n) {
    std::string s;
    while (s.size() < n) s += "The quick brown fox jumps over the lazy dog. ";
    s.resize(n);
    return s;
}

void start_runtime() {
    flags_reset();
    low_memory_clear();
    strings_reset();
}

// One statement pair per iteration, as compiled code runs them:
//   name$ = "Player " + RIGHT$(digits$, 2) + ": " + colour$
//   line$ = name$ + MID$(text$, k, 24) + " | " + status$
void BM_StatementLoop_Ours(benchmark::State& state) {
    start_runtime();
    StrDesc* digits = str_assign(str_new(0, 0), str_lit("0123456789"));
    StrDesc* text = str_assign(str_new(0, 0), str_from_cstring(long_text(400).c_str()));
    StrDesc* status = str_assign(str_new(0, 0), str_lit("waiting for the next turn"));
    StrDesc* name = str_new(0, 0);
    StrDesc* line = str_new(0, 0);
    uint32_t mark = str_temp_count();
    uint64_t allocations = strings_stats().system_allocations;
    int k = 0;
    for (auto _ : state) {
        str_assign(name,
                   str_concat(str_concat(str_concat(str_lit("Player "), str_right(digits, 2)), str_lit(": ")),
                              str_from_cstring(Words[k % word_count])));
        str_release_temps(mark, 0);
        str_assign(line,
                   str_concat(str_concat(str_concat(name, str_mid(text, k % 300 + 1, 24, 1)), str_lit(" | ")), status));
        str_release_temps(mark, 0);
        benchmark::DoNotOptimize(line->data);
        ++k;
    }
    state.counters["allocs/iter"] = static_cast<double>(strings_stats().system_allocations - allocations) /
        static_cast<double>(state.iterations());
    strings_shutdown();
}

void BM_StatementLoop_Std(benchmark::State& state) {
    std::string digits = "0123456789", text = long_text(400), status = "waiting for the next turn";
    std::string name, line;
    uint64_t allocations = NewCalls;
    int k = 0;
    for (auto _ : state) {
        name = "Player " + digits.substr(digits.size() - 2) + ": " + Words[k % word_count];
        line = name + text.substr(static_cast<size_t>(k % 300), 24) + " | " + status;
        benchmark::DoNotOptimize(line.data());
        ++k;
    }
    state.counters["allocs/iter"] = static_cast<double>(NewCalls - allocations) /
        static_cast<double>(state.iterations());
}

// A = A + STR$(i) kept to a bounded length: the variable grows at the heap's end.
void BM_GrowingVariable_Ours(benchmark::State& state) {
    start_runtime();
    StrDesc* acc = str_new(0, 0);
    uint32_t mark = str_temp_count();
    uint64_t allocations = strings_stats().system_allocations;
    int16_t i = 0;
    for (auto _ : state) {
        str_assign(acc, str_concat(acc, str_from_int16(i++)));
        str_release_temps(mark, 0);
        if (acc->length > 4000) str_assign(acc, str_lit(""));
        benchmark::DoNotOptimize(acc->data);
    }
    state.counters["allocs/iter"] = static_cast<double>(strings_stats().system_allocations - allocations) /
        static_cast<double>(state.iterations());
    strings_shutdown();
}

void BM_GrowingVariable_Std(benchmark::State& state) {
    std::string acc;
    uint64_t allocations = NewCalls;
    int16_t i = 0;
    for (auto _ : state) {
        acc = acc + (i >= 0 ? " " : "") + std::to_string(i);
        ++i;
        if (acc.size() > 4000) acc = "";
        benchmark::DoNotOptimize(acc.data());
    }
    state.counters["allocs/iter"] = static_cast<double>(NewCalls - allocations) /
        static_cast<double>(state.iterations());
}

// MID$(long$, k, n) and RIGHT$(long$, n) of a 60,000-character variable.
void BM_MidOfLong_Ours(benchmark::State& state) {
    start_runtime();
    auto n = static_cast<int32_t>(state.range(0));
    StrDesc* big = str_assign(str_new(0, 0), str_from_cstring(long_text(60000).c_str()));
    uint32_t mark = str_temp_count();
    int32_t k = 0;
    for (auto _ : state) {
        StrDesc* part = str_mid(big, k % 50000 + 1, n, 1);
        benchmark::DoNotOptimize(part->data);
        str_release_temps(mark, 0);
        k += 7;
    }
    strings_shutdown();
}

void BM_MidOfLong_Std(benchmark::State& state) {
    auto n = static_cast<size_t>(state.range(0));
    std::string big = long_text(60000);
    size_t k = 0;
    for (auto _ : state) {
        std::string part = big.substr(k % 50000, n);
        benchmark::DoNotOptimize(part.data());
        k += 7;
    }
}

void BM_RightOfLong_Ours(benchmark::State& state) {
    start_runtime();
    auto n = static_cast<int32_t>(state.range(0));
    StrDesc* big = str_assign(str_new(0, 0), str_from_cstring(long_text(60000).c_str()));
    uint32_t mark = str_temp_count();
    for (auto _ : state) {
        StrDesc* part = str_right(big, n);
        benchmark::DoNotOptimize(part->data);
        str_release_temps(mark, 0);
    }
    strings_shutdown();
}

void BM_RightOfLong_Std(benchmark::State& state) {
    auto n = static_cast<size_t>(state.range(0));
    std::string big = long_text(60000);
    for (auto _ : state) {
        std::string part = big.substr(big.size() - n);
        benchmark::DoNotOptimize(part.data());
    }
}

}  // namespace

BENCHMARK(BM_StatementLoop_Ours);
BENCHMARK(BM_StatementLoop_Std);
BENCHMARK(BM_GrowingVariable_Ours);
BENCHMARK(BM_GrowingVariable_Std);
BENCHMARK(BM_MidOfLong_Ours)->Arg(100)->Arg(4000);
BENCHMARK(BM_MidOfLong_Std)->Arg(100)->Arg(4000);
BENCHMARK(BM_RightOfLong_Ours)->Arg(100)->Arg(4000);
BENCHMARK(BM_RightOfLong_Std)->Arg(100)->Arg(4000);

namespace {

// Console output as usual, and each pair's time kept for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> ns_per_iter;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // The fastest repetition: the one least disturbed by other processes.
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || !r.iterations) continue;
            std::string name = r.run_name.str();
            double ns = r.GetAdjustedCPUTime();
            auto it = ns_per_iter.find(name);
            if (it == ns_per_iter.end() || ns < it->second) ns_per_iter[name] = ns;
        }
    }
};

void print_ratios(const RatioReporter& reporter) {
    std::printf("\nours / std::string, CPU time of the fastest repetition (below 1.0: ours faster)\n");
    for (const auto& [name, ours] : reporter.ns_per_iter) {
        size_t at = name.find("_Ours");
        if (at == std::string::npos) continue;
        std::string baseline = name.substr(0, at) + "_Std" + name.substr(at + 5);
        auto it = reporter.ns_per_iter.find(baseline);
        if (it == reporter.ns_per_iter.end()) continue;
        std::printf("  %-28s %6.2f\n", (name.substr(3, at - 3) + name.substr(at + 5)).c_str(), ours / it->second);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_ratios(reporter);
    benchmark::Shutdown();
    return 0;
}
