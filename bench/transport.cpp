// The cost of storing events: 10,000 events with 1 KiB payloads stored through the flat-file storage
// (archiving, the storage queue, the size cap and an atomic write each), against writing the same
// archive bytes as 10,000 files with write(2) + rename(2) in one thread. The storage lies in the
// cache folder of a prepared $VELMORA_HOME of its own, as the application's does. Prints events per second
// and "ratio: X" (storage time over plain time, medians of the same run); the target is at most 2.
#include "transport/TTRFlatFileStorage.h"

#include "tests/transport/BytesObject.h"
#include "transport/TTRPlatform.h"

#include "BenchSupport.h"

#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/Paths.h"

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kEvents = 10'000;
constexpr size_t kPayload = 1024;

std::vector<std::shared_ptr<TTREvent>> makeEvents() {
    bench::Lcg rng;
    std::vector<std::shared_ptr<TTREvent>> events;
    for (int i = 0; i < kEvents; ++i) {
        auto event = TTREvent::initWithMappingID("2102", 1001);
        plat::Data bytes(kPayload);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(rng.next());
        event->setDataObject(std::make_shared<transporttest::BytesObject>(std::move(bytes)));
        event->setClockSnapshot(TTRClock::snapshot());
        events.push_back(std::move(event));
    }
    return events;
}

const std::vector<std::shared_ptr<TTREvent>>& events() {
    static const auto* all = new std::vector<std::shared_ptr<TTREvent>>(makeEvents());
    return *all;
}

fs::path freshFolder(const char* name) {
    fs::path base = fs::temp_directory_path() / ("velmora-bench-transport-" + std::to_string(::getpid()));
    fs::path folder = base / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

void BM_WriteRename(benchmark::State& state) {
    std::vector<plat::Data> archives;
    std::vector<std::string> names;
    for (const auto& event : events()) {
        archives.push_back(*TTREncodeArchive(*event, fs::path(), nullptr));
        names.push_back(event->eventID());
    }
    for (auto _ : state) {
        state.PauseTiming();
        fs::path folder = freshFolder("plain");
        state.ResumeTiming();
        for (int i = 0; i < kEvents; ++i) {
            std::string final = (folder / names[size_t(i)]).string();
            std::string temporary = (folder / ("." + names[size_t(i)] + ".tmp")).string();
            int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0 || ::write(fd, archives[size_t(i)].data(), archives[size_t(i)].size()) < 0 ||
                ::close(fd) != 0 || ::rename(temporary.c_str(), final.c_str()) != 0)
                state.SkipWithError("plain write failed");
        }
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}

void BM_StoreEvents(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        TTRFlatFileStorage::Configuration configuration;
        // Where the application keeps it: in the cache folder of a home prepared as a launch
        // prepares it, each name reached from there.
        ::setenv("VELMORA_HOME", freshFolder("home").c_str(), 1);
        if (plat::paths::preparePrivateFolders()) state.SkipWithError("the home was refused");
        configuration.rootDirectory = plat::paths::cachesDir() / "tessera-sdks-events";
        auto storage = TTRFlatFileStorage::makeStorage(std::move(configuration));
        storage->storageQueue().sync([] {});
        std::atomic<int> written{0};
        state.ResumeTiming();
        for (const auto& event : events())
            storage->storeEvent(event, [&written](bool ok, const std::optional<plat::Error>&) {
                if (ok) written.fetch_add(1, std::memory_order_relaxed);
            });
        storage->storageQueue().sync([] {});
        if (written.load() != kEvents) state.SkipWithError("events were not stored");
    }
    state.SetItemsProcessed(state.iterations() * kEvents);
}

// Medians of several repetitions: the file system's pace swings with the load of the machine.
BENCHMARK(BM_WriteRename)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);
BENCHMARK(BM_StoreEvents)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(7);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    fs::remove_all(fs::temp_directory_path() / ("velmora-bench-transport-" + std::to_string(::getpid())));
    const auto plain = reporter.times.find("BM_WriteRename");
    const auto stored = reporter.times.find("BM_StoreEvents");
    if (plain == reporter.times.end() || stored == reporter.times.end() || plain->second <= 0 ||
        stored->second <= 0) {
        std::printf("ratio: unavailable (run both benchmarks)\n");
        return 1;
    }
    std::printf("median write+rename: %.1f ms, median storage: %.1f ms for %d events of %zu bytes\n",
                plain->second, stored->second, kEvents, kPayload);
    std::printf("storage: %.0f events per second\n", kEvents / (stored->second / 1000.0));
    std::printf("ratio: %.2f\n", stored->second / plain->second);
    return 0;
}
