// Shared pieces of the benchmark programs: a deterministic generator, the region document that
// the JSON benchmarks read, and a reporter that prints the usual table plus the times it saw, so a
// program can print its "ratio: X" line.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include <unistd.h>

namespace bench {

constexpr int kRegionRecords = 20000;

// A small deterministic generator so every run works on the same data.
class Lcg {
public:
    explicit Lcg(uint64_t seed = 0x5eed) : state_(seed) {}
    uint32_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state_ >> 33);
    }
    uint32_t below(uint32_t n) { return next() % n; }
    bool flip() { return next() & 1; }

private:
    uint64_t state_;
};

struct Place {
    const char* city;
    const char* code;
    const char* country;
    const char* continent;
    double latitude, longitude;
};

inline const Place kPlaces[] = {
    {"New York", "US", "United States", "North America", 40.7128, -74.006},
    {"Frankfurt", "DE", "Germany", "Europe", 50.1109, 8.6821},
    {"S\xc3\xa3o Paulo", "BR", "Brazil", "South America", -23.5505, -46.6333},
    {"Tokyo", "JP", "Japan", "Asia", 35.6762, 139.6503},
    {"Z\xc3\xbcrich", "CH", "Switzerland", "Europe", 47.3769, 8.5417},
    {"Sydney", "AU", "Australia", "Oceania", -33.8688, 151.2093},
    {"Johannesburg", "ZA", "South Africa", "Africa", -26.2041, 28.0473},
    {"Reykjav\xc3\xadk", "IS", "Iceland", "Europe", 64.1466, -21.9426},
};

// A list of kRegionRecords region records with every field the service sends, wrapped as
// {"status": "ok", "data": [...]}. Generated once; the same bytes on every run.
inline const std::string& regionDocument() {
    static const std::string* bytes = [] {
        auto* out = new std::string;
        Lcg rng;
        auto flag = [&](const char* name, bool value) {
            *out += std::string("\"") + name + "\":" + (value ? "true" : "false") + ",";
        };
        *out += "{\"status\":\"ok\",\"data\":[\n";
        for (int i = 0; i < kRegionRecords; ++i) {
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

// Prints as usual and keeps each benchmark's time per iteration for the ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal, so redirected output stays plain text.
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "mean")
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

// Prints as usual and keeps each benchmark's median real time per iteration: a program that runs
// repetitions compares medians, so one slow repetition on a busy machine does not decide its ratio.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                times[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    std::map<std::string, double> times;
};

} // namespace bench
