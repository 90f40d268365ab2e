// The JSON value layer on a region list shaped like the service's (20,000 records, about 5 MB):
// JSON built from the bytes, then every field of every record read through path subscripts and
// typed accessors. The reference parses the same bytes with the bare parser and reads the same
// fields from its document. Prints "ratio: X" at the end: JSON time divided by reference time.
#include "json/JSON.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace {

// A small deterministic generator so every run reads the same bytes.
class Lcg {
  public:
    uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state_ >> 33);
    }
    uint32_t below(uint32_t n) { return next() % n; }
    bool flip() { return next() & 1; }

  private:
    uint64_t state_ = 0x5eed;
};

struct Place {
    const char* city;
    const char* code;
    const char* country;
    const char* continent;
    double latitude, longitude;
};

const Place kPlaces[] = {
    {"New York", "US", "United States", "North America", 40.7128, -74.006},
    {"Frankfurt", "DE", "Germany", "Europe", 50.1109, 8.6821},
    {"S\xc3\xa3o Paulo", "BR", "Brazil", "South America", -23.5505, -46.6333},
    {"Tokyo", "JP", "Japan", "Asia", 35.6762, 139.6503},
    {"Z\xc3\xbcrich", "CH", "Switzerland", "Europe", 47.3769, 8.5417},
    {"Sydney", "AU", "Australia", "Oceania", -33.8688, 151.2093},
    {"Johannesburg", "ZA", "South Africa", "Africa", -26.2041, 28.0473},
    {"Reykjav\xc3\xadk", "IS", "Iceland", "Europe", 64.1466, -21.9426},
};

constexpr int kRecords = 20000;

const std::string& document() {
    static const std::string* bytes = [] {
        auto* out = new std::string;
        Lcg rng;
        auto flag = [&](const char* name, bool value) {
            *out += std::string("\"") + name + "\":" + (value ? "true" : "false") + ",";
        };
        *out += "{\"status\":\"ok\",\"data\":[\n";
        for (int i = 0; i < kRecords; ++i) {
            const Place& p = kPlaces[rng.below(sizeof kPlaces / sizeof kPlaces[0])];
            std::string code = p.code;
            std::string number = std::to_string(100 + rng.below(900));
            if (i) *out += ",\n";
            *out += "{\"id\":" + std::to_string(10000 + i) + ",";
            flag("is_streaming", rng.flip());
            flag("is_free", rng.below(5) == 0);
            flag("is_alive", rng.below(10) != 0);
            flag("is_p2p", rng.flip());
            flag("is_nearest", i == 7);
            *out += "\"server_domain\":\"" + code + "-" + number + ".servers.velmora.example\",";
            *out += std::string("\"city\":\"") + p.city + "\",";
            *out += "\"country_code\":\"" + code + "\",";
            *out += std::string("\"country_name\":\"") + p.country + "\",";
            *out += "\"ip\":\"" + std::to_string(rng.below(223) + 1) + "." + std::to_string(rng.below(256)) +
                    "." + std::to_string(rng.below(256)) + "." + std::to_string(rng.below(254) + 1) + "\",";
            *out += "\"short_name\":\"" + code + "#" + number + "\",";
            *out += std::string("\"continent\":\"") + p.continent + "\",";
            *out += "\"load_percentage\":" + std::to_string(rng.below(101)) + ",";
            if (rng.below(4) != 0) *out += "\"distance\":" + std::to_string(rng.next() * 4096ULL) + ",";
            char location[96];
            std::snprintf(location, sizeof location, "\"location\":{\"latitude\":%.4f,\"longitude\":%.4f}}",
                          p.latitude + rng.below(1000) / 1e4, p.longitude - rng.below(1000) / 1e4);
            *out += location;
        }
        *out += "\n]}\n";
        return out;
    }();
    return *bytes;
}

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
    const std::string& bytes = document();
    for (auto _ : state) {
        JSON doc(std::string_view(bytes), plat::JSONSerialization::ReadingNone);
        Totals t = readJSON(doc);
        if (t.flags == 0 || t.missingDistances == 0) state.SkipWithError("fields not read");
        benchmark::DoNotOptimize(t);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void BM_ReferenceParseAndRead(benchmark::State& state) {
    const std::string& bytes = document();
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

// Prints as usual and keeps each benchmark's time per iteration for the ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean")
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Both readers must see the same values before their speed means anything.
    Totals a = readJSON(JSON(std::string_view(document()), plat::JSONSerialization::ReadingNone));
    Totals b = readReference(nlohmann::json::parse(document()));
    if (a.numbers != b.numbers || a.textBytes != b.textBytes || a.flags != b.flags ||
        a.degrees != b.degrees || a.missingDistances != b.missingDistances) {
        std::fprintf(stderr, "the two readers disagree\n");
        return 1;
    }
    std::printf("document: %zu bytes, %d records\n", document().size(), kRecords);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto value = reporter.times.find("BM_JSONValue");
    auto reference = reporter.times.find("BM_ReferenceParseAndRead");
    if (value != reporter.times.end() && reference != reporter.times.end() && reference->second > 0)
        std::printf("ratio: %.3f\n", value->second / reference->second);
    benchmark::Shutdown();
    return 0;
}
