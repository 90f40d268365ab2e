// The JSON value layer on a region list shaped like the service's (20,000 records, about 5 MB):
// JSON built from the bytes, then every field of every record read through path subscripts and
// typed accessors. The reference parses the same bytes with the bare parser and reads the same
// fields from its document. Prints "ratio: X" at the end: JSON time divided by reference time.
#include "json/JSON.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace {

// What both readers add up, so neither can skip a field.
struct Totals {
    int64_t numbers = 0;
    size_t textBytes = 0;
    int flags = 0;
    double degrees = 0;
    int missingDistances = 0;
};

const char* const kFlags[] = {"is_streaming", "is_free", "is_alive", "is_p2p", "is_nearest"};
const char* const kTexts[] = {"server_domain", "city",     "country_code", "country_name", "ip",
                              "short_name",    "continent"};

Totals readJSON(const JSON& doc) {
    Totals t;
    const int64_t count = static_cast<int64_t>(doc["data"].count());
    for (int64_t i = 0; i < count; ++i) {
        t.numbers += doc[{"data", i, "id"}].intValue();
        for (const char* flag : kFlags)
            t.flags += doc[{"data", i, flag}].boolValue();
        for (const char* text : kTexts)
            t.textBytes += doc[{"data", i, text}].stringValue().size();
        t.numbers += doc[{"data", i, "load_percentage"}].intValue();
        if (std::optional<int64_t> distance = doc[{"data", i, "distance"}].int64())
            t.numbers += *distance;
        else
            ++t.missingDistances;
        t.degrees += doc[{"data", i, "location", "latitude"}].doubleValue();
        t.degrees += doc[{"data", i, "location", "longitude"}].doubleValue();
    }
    return t;
}

Totals readReference(const nlohmann::json& doc) {
    Totals t;
    const nlohmann::json& data = doc.at("data");
    for (size_t i = 0; i < data.size(); ++i) {
        const nlohmann::json& record = data[i];
        t.numbers += record.at("id").get<int64_t>();
        for (const char* flag : kFlags)
            t.flags += record.at(flag).get<bool>();
        for (const char* text : kTexts)
            t.textBytes += record.at(text).get<std::string>().size();
        t.numbers += record.at("load_percentage").get<int64_t>();
        auto distance = record.find("distance");
        if (distance != record.end())
            t.numbers += distance->get<int64_t>();
        else
            ++t.missingDistances;
        t.degrees += record.at("location").at("latitude").get<double>();
        t.degrees += record.at("location").at("longitude").get<double>();
    }
    return t;
}

void BM_JSONValue(benchmark::State& state) {
    const std::string& bytes = bench::regionDocument();
    for (auto _ : state) {
        JSON doc(std::string_view(bytes), plat::JSONSerialization::ReadingNone);
        Totals t = readJSON(doc);
        if (t.flags == 0 || t.missingDistances == 0) state.SkipWithError("fields not read");
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_ReferenceParseAndRead(benchmark::State& state) {
    const std::string& bytes = bench::regionDocument();
    for (auto _ : state) {
        nlohmann::json doc = nlohmann::json::parse(bytes);
        Totals t = readReference(doc);
        if (t.flags == 0 || t.missingDistances == 0) state.SkipWithError("fields not read");
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(BM_JSONValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReferenceParseAndRead)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Both readers must see the same values before their speed means anything.
    Totals a =
        readJSON(JSON(std::string_view(bench::regionDocument()), plat::JSONSerialization::ReadingNone));
    Totals b = readReference(nlohmann::json::parse(bench::regionDocument()));
    if (a.numbers != b.numbers || a.textBytes != b.textBytes || a.flags != b.flags ||
        a.degrees != b.degrees || a.missingDistances != b.missingDistances) {
        std::fprintf(stderr, "the two readers disagree\n");
        return 1;
    }
    std::printf("document: %zu bytes, %d records\n", bench::regionDocument().size(), bench::kRegionRecords);
    bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto value = reporter.times.find("BM_JSONValue");
    auto reference = reporter.times.find("BM_ReferenceParseAndRead");
    if (value != reporter.times.end() && reference != reporter.times.end() && reference->second > 0)
        std::printf("ratio: %.3f\n", value->second / reference->second);
    benchmark::Shutdown();
    return 0;
}
