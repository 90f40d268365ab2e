// A fixed-seed byte mutator for the parsers' mutation tests: each input is a seed with a few
// random edits (byte values, interesting words, insertions, deletions, truncation), handed to the
// parser in an exact-size allocation.
#pragma once

#include "crash/record/CRWContext.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

namespace crashtest {

// Runs without the crash context of earlier tests in the binary: the parsers' trace lines would
// otherwise go to its internal log one write call per character.
inline void runMutations(const std::vector<std::vector<uint8_t>>& seeds, int count, uint32_t seed,
                         const std::function<void(const uint8_t*, size_t)>& parse) {
    const CRWContext saved = _crwContext;
    _crwContext = CRWContext{nullptr, nullptr, nullptr};
    std::mt19937 random(seed);
    auto below = [&](size_t n) { return n == 0 ? size_t{0} : static_cast<size_t>(random() % n); };
    static const uint32_t kInteresting[] = {0,          1,          0x7F,       0x80, 0xFF, 0xFFFF,
                                            0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 8,    16};
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> input = seeds[static_cast<size_t>(i) % seeds.size()];
        const size_t edits = 1 + below(8);
        for (size_t e = 0; e < edits && !input.empty(); ++e) {
            const size_t at = below(input.size());
            switch (below(6)) {
            case 0:
                input[at] = static_cast<uint8_t>(random());
                break;
            case 1:
                input[at] ^= static_cast<uint8_t>(1u << below(8));
                break;
            case 2: {
                const uint32_t value = kInteresting[below(sizeof kInteresting / sizeof kInteresting[0])];
                for (size_t b = 0; b < 4 && at + b < input.size(); ++b)
                    input[at + b] = static_cast<uint8_t>(value >> (8 * b));
                break;
            }
            case 3:
                input.insert(input.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
                break;
            case 4:
                input.erase(input.begin() + static_cast<long>(at));
                break;
            default:
                input.resize(at);
                break;
            }
        }
        std::unique_ptr<uint8_t[]> exact(new uint8_t[input.empty() ? 1 : input.size()]);
        std::copy(input.begin(), input.end(), exact.get());
        parse(exact.get(), input.size());
    }
    _crwContext = saved;
}

} // namespace crashtest
