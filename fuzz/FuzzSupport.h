// Helpers shared by the fuzz harnesses: the input as text, a property that must hold, and a
// private data root for harnesses that go through files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

inline std::string_view text(const uint8_t* data, size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// A property of the code under test that the input broke: reported as a crash so that libFuzzer
// keeps the input.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz: property broken: %s\n", what);
    std::abort();
}

inline void check(bool holds, const char* what) {
    if (!holds) fail(what);
}

// Points $VELMORA_HOME at a fresh temporary folder for the rest of the process and removes it at
// exit. Call once, from LLVMFuzzerInitialize.
inline std::filesystem::path useTemporaryHome() {
    // Never destroyed: the exit handler that removes the folder still needs its name.
    static const std::string* root = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "velmora-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) fail("cannot make a temporary folder");
        setenv("VELMORA_HOME", pattern.c_str(), 1);
        auto* kept = new std::string(pattern);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(*root, ec);
        });
        return kept;
    }();
    return *root;
}

} // namespace fuzz
