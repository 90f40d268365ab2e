// The committed Mach-O fixtures and what the LLVM tools printed about them, read back for the
// crash tests: the files' bytes and a small reader of the tools' listings.
#pragma once

#include "tests/support/TestSupport.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace crashtest {

inline std::filesystem::path fixtureDirectory() {
    const char* source = std::getenv("VELMORA_SOURCE_DIR");
    return std::filesystem::path(source ? source : ".") / "tests/crash/fixtures/macho";
}

// A fixture's bytes; 8-byte aligned so the parsers may read words in place.
struct FixtureBytes {
    std::vector<uint64_t> words;
    uint64_t size = 0;
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(words.data()); }
    uint8_t* data() { return reinterpret_cast<uint8_t*>(words.data()); }
};

inline FixtureBytes readFixture(const std::string& name) {
    const std::string bytes = testsupport::readFile(fixtureDirectory() / name);
    EXPECT_FALSE(bytes.empty()) << "missing fixture " << name;
    FixtureBytes out;
    out.size = bytes.size();
    out.words.resize((bytes.size() + 7) / 8 + 1);
    std::copy(bytes.begin(), bytes.end(), reinterpret_cast<char*>(out.words.data()));
    return out;
}

// One block of a tool listing: "Load command N" or "Section" with its "key value" lines.
struct ListingBlock {
    std::string kind;
    std::map<std::string, std::string> fields;
    std::vector<ListingBlock> sections;
};

// An llvm-otool -l listing: the header's columns and the load commands with their sections.
struct OtoolListing {
    std::map<std::string, std::string> header;
    std::vector<ListingBlock> commands;
};

inline std::string trim(const std::string& text) {
    const auto start = text.find_first_not_of(' ');
    if (start == std::string::npos) return "";
    return text.substr(start, text.find_last_not_of(' ') - start + 1);
}

inline OtoolListing readOtoolListing(const std::string& name) {
    std::istringstream in(testsupport::readFile(fixtureDirectory() / name));
    OtoolListing listing;
    std::string line, columns;
    ListingBlock* current = nullptr;
    while (std::getline(in, line)) {
        if (line == "Mach header") {
            if (!listing.header.empty()) break; // the header is printed again after the commands
            std::getline(in, columns);
            std::getline(in, line);
            std::istringstream names(columns), values(line);
            std::string key, value;
            while (names >> key && values >> value)
                listing.header[key] = value;
        } else if (line.rfind("Load command ", 0) == 0) {
            listing.commands.push_back({"command", {}, {}});
            current = &listing.commands.back();
        } else if (line == "Section" && !listing.commands.empty()) {
            listing.commands.back().sections.push_back({"section", {}, {}});
            current = &listing.commands.back().sections.back();
        } else if (current != nullptr) {
            const std::string text = trim(line);
            const auto space = text.find(' ');
            if (space != std::string::npos)
                current->fields.emplace(text.substr(0, space), trim(text.substr(space)));
        }
    }
    return listing;
}

inline uint64_t parseNumber(const std::string& text) {
    return std::stoull(text, nullptr, 0);
}

} // namespace crashtest
