// Parsing speed of plat::JSONSerialization against the bare parser it is built on, on a region
// list shaped like the service's (20,000 records, about 5 MB). Prints "ratio: X" at the end: the
// time of jsonObject divided by the time of building the parser's own document.
#include "platform/foundation/JSONSerialization.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace {

void BM_PlatJSONObject(benchmark::State& state) {
    const std::string& bytes = bench::regionDocument();
    for (auto _ : state) {
        plat::Error error;
        plat::Object object = plat::JSONSerialization::jsonObject(bytes, 0, &error);
        if (!object.isDict()) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(object);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_NlohmannParse(benchmark::State& state) {
    const std::string& bytes = bench::regionDocument();
    for (auto _ : state) {
        nlohmann::json value = nlohmann::json::parse(bytes);
        benchmark::DoNotOptimize(value);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_PlatJSONObject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NlohmannParse)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("document: %zu bytes, %d records\n", bench::regionDocument().size(), bench::kRegionRecords);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto plat = reporter.times.find("BM_PlatJSONObject");
    auto reference = reporter.times.find("BM_NlohmannParse");
    if (plat != reporter.times.end() && reference != reporter.times.end() && reference->second > 0)
        std::printf("ratio: %.3f\n", plat->second / reference->second);
    benchmark::Shutdown();
    return 0;
}
