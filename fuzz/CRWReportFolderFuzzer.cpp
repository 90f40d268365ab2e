// A report folder left by a crashed run, processed on the next launch: the report's metadata and
// crash facts, symbolication and the payload. The input is a folder: a sequence of files, each one
// byte choosing the name, two bytes (little-endian) the length, then the contents. In contents,
// "@uuid@", "@base@" and "@pc@" become this program's build-id, load address and an address in it,
// so that inputs can name images that are really loaded.
#include "crash/report/CRWInternalReport.h"
#include "crash/report/CRWProcessReportOperation.h"
#include "crash/report/CRWReportAdapter.h"
#include "fuzz/FuzzSupport.h"
#include "platform/log/OSLog.h"
#include "tests/crash/support/ReportExercises.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;

const char* const kNames[] = {"metadata.crwrecord",
                              "binary_images.crwrecord",
                              "signal.crwrecord",
                              "exception.crwrecord",
                              "mach_exception.crwrecord",
                              "custom_fatal.crwrecord",
                              "metric_kit_fatal.crwrecord",
                              "log_a.crwrecord",
                              "errors_a.crwrecord",
                              "user_incremental_kv.crwrecord",
                              "signal.crwrecord.symbolicated",
                              "notes.txt"};

struct Self {
    std::string uuid, base, pc;
};

const Self& self() {
    static const Self* found = [] {
        auto* s = new Self;
        const CRWBinaryImageDetails details =
            crashtest::loadedImageDetails(reinterpret_cast<const void*>(&self));
        s->uuid = details.uuidString;
        s->base = std::to_string(details.slot.baseAddress);
        s->pc = std::to_string(reinterpret_cast<uintptr_t>(&self) + 4);
        return s;
    }();
    return *found;
}

void replaceAll(std::string& text, const std::string& token, const std::string& value) {
    for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
        text.replace(at, token.size(), value);
}

} // namespace

namespace {

fs::path folder;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = fuzz::useTemporaryHome() / "report";
    // Damaged folders are logged line by line; the fuzzer has no use for the lines.
    plat::OSLog::setSink([](const plat::OSLog::Entry&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    if (!fs::create_directories(folder, ignored) && !fs::is_directory(folder)) return 0;
    size_t at = 0;
    while (size - at >= 3) {
        const char* name = kNames[data[at] % (sizeof kNames / sizeof kNames[0])];
        const size_t length = std::min<size_t>(data[at + 1] | (size_t(data[at + 2]) << 8), size - at - 3);
        std::string contents(reinterpret_cast<const char*>(data + at + 3), length);
        at += 3 + length;
        replaceAll(contents, "@uuid@", self().uuid);
        replaceAll(contents, "@base@", self().base);
        replaceAll(contents, "@pc@", self().pc);
        std::ofstream(folder / name, std::ios::binary | std::ios::app) << contents;
    }

    auto report = CRWInternalReport::reportWithPath(folder.string());
    if (!report) report = CRWInternalReport::initWithPath(folder.string(), "fuzz");
    crashtest::queryReport(*report);
    CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
    operation.start();
    CRWReportAdapter adapter(folder.string(), "app", nullptr, "fid", "token");
    fuzz::check(adapter.transportBytes().has_value(), "the payload always has bytes");
    return 0;
}
