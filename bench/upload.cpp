// The cost of an upload body: a batch of 1,000 events of 512-byte payloads turned into the batched
// log request (builders and the two-pass encoding) and gzipped, against gzipping the same payload
// bytes alone. Prints the times, the sizes and "ratio: X" (body time over gzip-alone time, medians
// of the same run); the target is at most 1.5.
#include "transport/TTWCompressionHelper.h"
#include "transport/TTWLogRequestBuilders.h"

#include "tests/transport/BytesObject.h"

#include "BenchSupport.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kEvents = 1000;
constexpr size_t kPayload = 512;

// Payloads shaped like encoded session events: field tags and short texts from a small vocabulary
// with varying numbers between them, so gzip has the work it has on real uploads.
TTREvents makeEvents() {
    static const char* const kWords[] = {"session",    "heartbeat", "installation", "app_start",
                                         "foreground", "velmora",   "region",       "io.velmora.mac"};
    bench::Lcg rng;
    TTREvents events;
    for (int i = 0; i < kEvents; ++i) {
        plat::Data bytes;
        while (bytes.size() < kPayload) {
            bytes.push_back(static_cast<uint8_t>(0x0a + 8 * rng.below(6)));
            const char* word = kWords[rng.below(sizeof kWords / sizeof kWords[0])];
            bytes.insert(bytes.end(), word, word + std::char_traits<char>::length(word));
            for (int n = 0; n < 4; ++n)
                bytes.push_back(static_cast<uint8_t>(rng.next()));
        }
        bytes.resize(kPayload);
        auto event = TTREvent::initWithMappingID(i % 10 ? "2102" : "2101", 1001);
        event->setDataObject(std::make_shared<transporttest::BytesObject>(std::move(bytes)));
        event->setClockSnapshot(TTRClock::snapshot());
        events.push_back(std::move(event));
    }
    return events;
}

const TTREvents& events() {
    static const auto* all = new TTREvents(makeEvents());
    return *all;
}

const plat::Data& payloadBytes() {
    static const auto* all = [] {
        auto* bytes = new plat::Data;
        for (const auto& event : events())
            bytes->insert(bytes->end(), event->serializedDataObjectBytes()->begin(),
                          event->serializedDataObjectBytes()->end());
        return bytes;
    }();
    return *all;
}

size_t bodySize = 0;
size_t gzipAloneSize = 0;

void BM_GzipPayloadsAlone(benchmark::State& state) {
    for (auto _ : state) {
        std::optional<plat::Data> zipped = TTWCompressionHelper::gzippedData(payloadBytes());
        if (!zipped) state.SkipWithError("gzip failed");
        gzipAloneSize = zipped ? zipped->size() : 0;
        benchmark::DoNotOptimize(zipped);
    }
}

void BM_EncodeAndGzipBatch(benchmark::State& state) {
    for (auto _ : state) {
        plat::Data body =
            TTWEncodeBatchedLogRequest(*TTWConstructBatchedLogRequest(TTWGroupEventsByMappingID(events())));
        std::optional<plat::Data> zipped = TTWCompressionHelper::gzippedData(body);
        if (body.empty() || !zipped) state.SkipWithError("encoding failed");
        bodySize = zipped ? zipped->size() : 0;
        benchmark::DoNotOptimize(zipped);
    }
}

BENCHMARK(BM_GzipPayloadsAlone)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);
BENCHMARK(BM_EncodeAndGzipBatch)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(7);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    bench::MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto alone = reporter.times.find("BM_GzipPayloadsAlone");
    const auto batch = reporter.times.find("BM_EncodeAndGzipBatch");
    if (alone == reporter.times.end() || batch == reporter.times.end() || alone->second <= 0 ||
        batch->second <= 0) {
        std::printf("ratio: unavailable (run both benchmarks)\n");
        return 1;
    }
    std::printf("%d events of %zu payload bytes: encode and gzip %.2f ms (%zu bytes), gzip alone %.2f ms "
                "(%zu bytes)\n",
                kEvents, kPayload, batch->second, bodySize, alone->second, gzipAloneSize);
    std::printf("ratio: %.2f\n", batch->second / alone->second);
    return 0;
}
