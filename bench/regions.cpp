// The region load of the session controller on 20,000 records: the reply's JSON value decoded
// strictly into VPNRegion records, then sorted by country name (canonical
// Unicode order) and ranked (best region renamed and moved first). The reference is a plain
// std::stable_sort of the same decoded records by country name. Prints the time per region and
// "ratio: X" lines at the end: each benchmark's time divided by the reference's, from this run.
#include "app/controllers/RegionRanking.h"
#include "app/network/VPNRegion.h"
#include "json/JSON.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace {

// Country names as the service writes them, some outside ASCII and one in decomposed form.
const char* const kCountries[] = {
    "United States",
    "Germany",
    "Brazil",
    "Japan",
    "Switzerland",
    "Australia",
    "South Africa",
    "Iceland",
    "\xc3\x96sterreich",
    "C\xc3\xb4te d'Ivoire",
    "Re\xcc\x81union",
    "R\xc3\xa9union",
    "Poland",
    "Spain",
    "France",
    "Netherlands",
    "Canada",
    "Mexico",
    "India",
    "Singapore",
    "T\xc3\xbcrkiye",
    "Norway",
    "Sweden",
    "Denmark",
    "Finland",
    "Estonia",
    "Italy",
    "Greece",
    "Portugal",
    "Ireland",
    "Chile",
    "Peru",
};
constexpr int kRecords = 20000;

const std::string& replyText() {
    static const std::string* text = [] {
        auto* out = new std::string("[");
        bench::Lcg rng(0x7e910);
        for (int i = 0; i < kRecords; ++i) {
            const char* country = kCountries[rng.below(sizeof kCountries / sizeof kCountries[0])];
            if (i) *out += ",\n";
            *out += "{\"id\":" + std::to_string(1000 + i) +
                    ",\"is_streaming\":" + (rng.below(2) ? "true" : "false") +
                    ",\"is_free\":false,\"is_alive\":true,\"server_domain\":\"s" + std::to_string(i) +
                    ".vpn.velmora.example\",\"city\":\"City " + std::to_string(rng.below(500)) +
                    "\",\"country_code\":\"XX\",\"is_p2p\":" + (rng.below(2) ? "true" : "false") +
                    ",\"ip\":\"198.51.100." + std::to_string(rng.below(254) + 1) +
                    "\",\"load_percentage\":" + std::to_string(rng.below(101)) + ",\"country_name\":\"" +
                    country + "\",";
            if (rng.below(8) != 0) *out += "\"distance\":" + std::to_string(rng.below(20000)) + ",";
            *out += std::string("\"is_nearest\":") + (rng.below(50) == 0 ? "true" : "false") +
                    ",\"location\":{\"latitude\":" + std::to_string(rng.below(180) - 90.0) +
                    ",\"longitude\":" + std::to_string(rng.below(360) - 180.0) +
                    "},\"short_name\":\"XX\",\"continent\":\"Europe\",\"region_name\":\"ignored\"}";
        }
        *out += "]";
        return out;
    }();
    return *text;
}

const JSON& reply() {
    static const JSON* value = new JSON(plat::toData(replyText()), 0);
    return *value;
}

const std::vector<VPNRegion>& decoded() {
    static const std::vector<VPNRegion>* regions = new std::vector<VPNRegion>(VPNRegion::decodeList(reply()));
    return *regions;
}

void perRegion(benchmark::State& state) {
    state.counters["per_region"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kRecords,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// What the controller does with a reply: decode, sort, pick and move the best region.
void BM_DecodeSortRank(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<VPNRegion> regions = VPNRegion::decodeList(reply());
        region_ranking::rank(regions);
        if (regions.front().country_name.rfind(region_ranking::kOptimalPrefix, 0) != 0)
            state.SkipWithError("not ranked");
        benchmark::DoNotOptimize(regions.data());
    }
    perRegion(state);
}

// Sorting and ranking alone, on records already decoded (the copy is not timed).
void BM_SortRank(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<VPNRegion> regions = decoded();
        state.ResumeTiming();
        region_ranking::rank(regions);
        benchmark::DoNotOptimize(regions.data());
    }
    perRegion(state);
}

// The reference: the same records, a plain stable sort by the name's bytes.
void BM_PlainStableSort(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<VPNRegion> regions = decoded();
        state.ResumeTiming();
        std::stable_sort(regions.begin(), regions.end(), [](const VPNRegion& a, const VPNRegion& b) {
            return a.country_name < b.country_name;
        });
        benchmark::DoNotOptimize(regions.data());
    }
    perRegion(state);
}

BENCHMARK(BM_DecodeSortRank)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortRank)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainStableSort)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (decoded().size() != static_cast<size_t>(kRecords)) {
        std::fprintf(stderr, "decoded %zu of %d records\n", decoded().size(), kRecords);
        return 1;
    }
    std::printf("reply: %zu bytes, %d records\n", replyText().size(), kRecords);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto& t = reporter.times;
    double reference = t["BM_PlainStableSort"];
    if (reference > 0) {
        for (const char* name : {"BM_DecodeSortRank", "BM_SortRank"}) {
            if (!t.count(name)) continue;
            std::printf("%s per region: %.1f ns\n", name, t[name] / kRecords * 1e6);
            std::printf("ratio: %.2f (%s / BM_PlainStableSort)\n", t[name] / reference, name);
        }
        std::printf("BM_PlainStableSort per region: %.1f ns\n", reference / kRecords * 1e6);
    }
    benchmark::Shutdown();
    return 0;
}
