// What a launch spends on its folders before anything else: the check and preparation of every
// folder (paths::preparePrivateFolders), once with 100,000 small files in the cache folder and
// once with an empty one, after a first launch made them private; and a second launch that only
// hands over to the running instance (the preparation, then SingleInstance::claim). Prints the
// first launch's time over the full folder and "ratio: X" lines: each full-folder time divided by
// the empty folder's, from this run, with the difference in milliseconds.
#include "platform/appkit/SingleInstance.h"
#include "platform/foundation/Paths.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 1000;

// The two data roots: "empty" (an empty cache folder) and "full" (100,000 files in it).
const fs::path& root() {
    static const fs::path* folder = [] {
        std::string pattern = (fs::temp_directory_path() / "velmora-bench-folders-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        return new fs::path(pattern);
    }();
    return *folder;
}

// Files as an older version or another program left them: readable by others, so the first
// launch has them all to make private.
void fill(const fs::path& cache) {
    for (int folder = 0; folder < kFolders; ++folder) {
        const fs::path dir = cache / "tessera-sdks-events" / std::to_string(folder);
        fs::create_directories(dir);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            const int fd = ::open((dir / ("event-" + std::to_string(file))).c_str(),
                                  O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd < 0 || ::write(fd, "event", 5) != 5) std::abort();
            ::fchmod(fd, 0644);
            ::close(fd);
        }
        ::chmod(dir.c_str(), 0755);
    }
    ::chmod((cache / "tessera-sdks-events").c_str(), 0755);
    ::chmod(cache.c_str(), 0755);
}

void useHome(const char* name) {
    ::setenv("VELMORA_HOME", (root() / name).c_str(), 1);
}

// The folders' part of a launch before the claim, as the application does it.
void launch(benchmark::State& state) {
    if (auto refusal = plat::paths::preparePrivateFolders(plat::SingleInstance::inTheWay))
        state.SkipWithError(refusal->c_str());
}

void BM_StartEmptyCache(benchmark::State& state) {
    useHome("empty");
    for (auto _ : state)
        launch(state);
}

void BM_StartFullCache(benchmark::State& state) {
    useHome("full");
    for (auto _ : state)
        launch(state);
}

// A second launch while an instance runs on the same folder: prepared, then handed over.
void handover(benchmark::State& state, const char* home) {
    useHome(home);
    launch(state);
    auto running = plat::SingleInstance::claim(plat::paths::applicationSupportDir());
    if (running.role != plat::SingleInstance::Role::Primary) {
        state.SkipWithError(running.error.c_str());
        return;
    }
    for (auto _ : state) {
        launch(state);
        auto second = plat::SingleInstance::claim(plat::paths::applicationSupportDir());
        if (second.role != plat::SingleInstance::Role::HandedOver) state.SkipWithError(second.error.c_str());
    }
}

void BM_HandoverEmptyCache(benchmark::State& state) {
    handover(state, "empty");
}

void BM_HandoverFullCache(benchmark::State& state) {
    handover(state, "full");
}

BENCHMARK(BM_StartEmptyCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StartFullCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandoverEmptyCache)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HandoverFullCache)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    fs::create_directories(root() / "empty" / "cache");
    fill(root() / "full" / "cache");
    // The first launch on each: everything made private, the full folder's files one by one.
    useHome("empty");
    const bool emptyReady = !plat::paths::preparePrivateFolders();
    useHome("full");
    const auto start = std::chrono::steady_clock::now();
    const auto refusal = plat::paths::preparePrivateFolders();
    const std::chrono::duration<double> first = std::chrono::steady_clock::now() - start;
    if (!emptyReady || refusal) {
        std::fprintf(stderr, "the first launch was refused: %s\n",
                     refusal ? refusal->c_str() : "empty folder");
        fs::remove_all(root());
        return 1;
    }
    std::printf("first launch over %d files: %.3f s\n", kFolders * kFilesPerFolder, first.count());

    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    for (const char* kind : {"Start", "Handover"}) {
        const std::string empty = std::string("BM_") + kind + "EmptyCache",
                          full = std::string("BM_") + kind + "FullCache";
        if (!t.count(empty) || !t.count(full) || t[empty] <= 0) continue;
        std::printf("ratio: %.2f (%s / %s), %.3f ms more, %.3f ms in all\n", t[full] / t[empty], full.c_str(),
                    empty.c_str(), (t[full] - t[empty]) / 1e3, t[full] / 1e3);
    }
    benchmark::Shutdown();
    fs::remove_all(root());
    return 0;
}
