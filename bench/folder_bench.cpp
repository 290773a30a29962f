// Names in big folders of camera-style files (IMG_nnnnn.jpeg, all of them
// numbered alike in the listing): opening a new name by number, the listed
// names of the whole folder, and a wildcard delete, at 1,000, 5,000 and
// 20,000 entries. Opens give their time each; the listing and the delete
// also give their time per entry, which stays flat when they grow linearly.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>
#include "runtime/core/flags.h"
#include "runtime/core/flags_internal.h"
#include "runtime/core/lowmem.h"
#include "runtime/core/lowmem_internal.h"
#include "runtime/core/memory.h"
#include "runtime/core/memory_internal.h"
#include "runtime/core/strings.h"
#include "runtime/core/strings_internal.h"
#include "runtime/platform/dir.h"
#include "runtime/system/dir_names.h"
#include "runtime/system/directories.h"
#include "runtime/system/directories_internal.h"
#include "runtime/system/files.h"
#include "runtime/process/spine.h"

namespace {

// Start-up as the process runs it, without the window and the threads.
void start_runtime() {
    static const bool started = process_startup(false) == 0;
    if (!started) std::abort();
}

std::string camera_name(int64_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "IMG_%05lld.jpeg", static_cast<long long>(i));
    return name;
}

// A folder of `entries` empty files, made once per size and removed at exit.
struct Folder {
    explicit Folder(int64_t entries) {
        char pattern[] = "/tmp/morv-folder-bench-XXXXXX";
        if (!mkdtemp(pattern)) std::abort();
        path = pattern;
        fill(0, entries);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    void fill(int64_t from, int64_t to) const {
        for (int64_t i = from; i < to; ++i)
            close(::open((path + "/" + camera_name(i)).c_str(), O_CREAT | O_WRONLY, 0644));
    }
    std::string path;
};

const Folder& folder_of(int64_t entries) {
    static std::vector<std::pair<int64_t, std::unique_ptr<Folder>>> made;
    for (auto& [n, f] : made)
        if (n == entries) return *f;
    made.emplace_back(entries, std::make_unique<Folder>(entries));
    return *made.back().second;
}

// Seconds per entry of the folder.
benchmark::Counter per_entry(int64_t entries) {
    return benchmark::Counter(static_cast<double>(entries),
                              benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void open_new(benchmark::State& state, const std::string& stem, const std::string& extension) {
    start_runtime();
    const Folder& folder = folder_of(state.range(0));
    int64_t serial = 0;
    for (auto _ : state) {
        const std::string file = folder.path + "/" + stem + std::to_string(serial++ % 1000) + extension;
        file_open(str_from_cstring(file.c_str()), file_mode_output, 0, 0, 1, 0, 0);
        file_close(1);
        str_release_temps(0, 0);
        state.PauseTiming();
        unlink(file.c_str());
        state.ResumeTiming();
    }
    if (error_code.load()) state.SkipWithError("the open failed");
}

// A long name, as cameras make them: it cannot be a listed name.
void BM_OpenNewLongName(benchmark::State& state) { open_new(state, "NEW_", ".jpeg"); }
// A name that fits the listing's columns: it is looked for among the entries as shown.
void BM_OpenNewShortName(benchmark::State& state) { open_new(state, "N", ".TXT"); }
// A name like a listed one: the whole folder's listed names are made.
void BM_OpenNewListedLikeName(benchmark::State& state) { open_new(state, "ZZZ~", ".JPE"); }

void BM_ListedNames(benchmark::State& state) {
    const Folder& folder = folder_of(state.range(0));
    for (auto _ : state) {
        std::vector<FolderEntry> entries;
        fs_read_folder(folder.path, &entries);
        folder_sort(&entries);
        benchmark::DoNotOptimize(listed_names(entries));
    }
    state.counters["per_entry"] = per_entry(state.range(0));
}

void BM_WildcardDelete(benchmark::State& state) {
    start_runtime();
    const int64_t entries = state.range(0);
    Folder folder(0);
    const std::string pattern = folder.path + "/*.jpeg";
    for (auto _ : state) {
        state.PauseTiming();
        folder.fill(0, entries);
        state.ResumeTiming();
        files_delete(str_from_cstring(pattern.c_str()));
        str_release_temps(0, 0);
    }
    if (error_code.load()) state.SkipWithError("the delete failed");
    state.counters["per_entry"] = per_entry(entries);
}

#define SIZES Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_OpenNewLongName)->SIZES;
BENCHMARK(BM_OpenNewShortName)->SIZES;
BENCHMARK(BM_OpenNewListedLikeName)->SIZES;
BENCHMARK(BM_ListedNames)->SIZES;
BENCHMARK(BM_WildcardDelete)->SIZES->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
