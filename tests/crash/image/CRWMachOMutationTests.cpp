#include "tests/crash/support/MachOFixtures.h"
#include "tests/crash/support/Mutator.h"
#include "tests/crash/support/ParserExercises.h"

#include <gtest/gtest.h>

using namespace crashtest;

namespace {

std::vector<uint8_t> prefix(const std::string& name, size_t length) {
    const FixtureBytes bytes = readFixture(name);
    return std::vector<uint8_t>(bytes.data(), bytes.data() + std::min<uint64_t>(bytes.size, length));
}

} // namespace

// 100,000 damaged headers and command lists, from every kind of fixture header.
TEST(CRWMachOMutation, DamagedHeadersNeverCrash) {
    // The header pages of the thin images, and a fat header whose slices are cut to fit.
    std::vector<std::vector<uint8_t>> seeds = {prefix("arm64_exec", 1600), prefix("libfixture.dylib", 1200),
                                               prefix("armv7s_header", 512), prefix("arm64e_header", 512)};
    std::vector<uint8_t> fat = prefix("fat_exec", 64);
    const std::vector<uint8_t> thin = prefix("arm64e_header", 200);
    fat.resize(64);
    fat.insert(fat.end(), thin.begin(), thin.end());
    for (int entry = 0; entry < 2; ++entry) { // offsets 64 and 64, size 200 (big-endian)
        uint8_t* e = fat.data() + 8 + 20 * entry;
        e[8] = e[9] = e[10] = 0, e[11] = 64;
        e[12] = e[13] = 0, e[14] = 0, e[15] = 200;
    }
    seeds.push_back(fat);
    const uint64_t before = exerciseSink;
    runMutations(seeds, 100000, 0x5EED0141, exerciseMachO);
    EXPECT_NE(exerciseSink, before); // the inputs were really parsed
}
