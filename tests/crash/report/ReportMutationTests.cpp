// Report folders written by a crashed run can be torn anywhere. Whole folders (a real crash-demo
// report and one whose images this program can symbolicate) are damaged at random with a fixed
// seed: records truncated, bytes flipped, files removed or emptied, a folder in a file's place. The
// whole processing path runs over each: loading the report, symbolication, the payload. It must
// never crash, never delete a record, keep every file it can read in the payload, and mark what it
// could not read.
#include "crash/record/CRWContext.h"
#include "crash/report/CRWInstallIdentifierModel.h"
#include "crash/report/CRWProcessReportOperation.h"
#include "crash/report/CRWReportAdapter.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/crash/report/ReportTestSupport.h"
#include "tests/crash/support/ReportExercises.h"

#include <filesystem>
#include <map>
#include <random>

namespace {

namespace fs = std::filesystem;
using Folder = std::map<std::string, std::string>;

Folder readFolder(const fs::path& folder) {
    Folder files;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = testsupport::readFile(entry.path());
    return files;
}

class ReportMutationTest : public reporttest::ReportTest {
protected:
    void TearDown() override {
        defaults_.reset();
        ReportTest::TearDown();
    }
    std::optional<CRWUserDefaults> defaults_;

    // Writes `seed` with a few random kinds of damage into a fresh folder.
    fs::path damaged(const Folder& seed, std::mt19937& random, int round) {
        const fs::path folder = home_->path() / "mutations" / std::to_string(round);
        fs::create_directories(folder);
        auto below = [&](size_t n) { return n == 0 ? size_t{0} : size_t(random() % n); };
        for (auto [name, bytes] : seed) {
            switch (below(8)) {
            case 0: // gone
                continue;
            case 1: // torn
                bytes.resize(below(bytes.size() + 1));
                break;
            case 2: // a few flipped bytes
                for (size_t i = 0, n = 1 + below(6); i < n && !bytes.empty(); ++i)
                    bytes[below(bytes.size())] ^= static_cast<char>(1u << below(8));
                break;
            case 3: // a few bytes replaced by anything
                for (size_t i = 0, n = 1 + below(4); i < n && !bytes.empty(); ++i)
                    bytes[below(bytes.size())] = static_cast<char>(random());
                break;
            case 4: // empty
                bytes.clear();
                break;
            case 5:
                if (below(4) == 0) {
                    fs::create_directory(folder / name);
                    continue;
                }
                break;
            default: // whole
                break;
            }
            testsupport::writeFile(folder / name, bytes);
        }
        return folder;
    }
};

TEST_F(ReportMutationTest, DamagedFoldersNeverCrashProcessingAndLoseNothingReadable) {
    // A real report of a crash, and one that names this program's image so frames resolve.
    const fs::path real = home_->path() / "seeds" / "real";
    capturetest::runDemo({"segv", real.string(), "--threads", "3"});
    Folder crash = readFolder(real);
    ASSERT_TRUE(crash.count("signal.crwrecord") && crash.count("binary_images.crwrecord")) << real;
    // The record as the crash path wrote it reads whole; cut after any of its lines it does not.
    const std::string& signal = crash["signal.crwrecord"];
    EXPECT_TRUE(CRWParseRecordBytes(signal, "signal.crwrecord").whole());
    size_t cuts = 0;
    for (size_t end = signal.find('\n'); end + 1 < signal.size(); end = signal.find('\n', end + 1), ++cuts)
        EXPECT_FALSE(CRWParseRecordBytes(signal.substr(0, end + 1), "signal.crwrecord").whole()) << end;
    EXPECT_GE(cuts, 5u);

    const CRWBinaryImageDetails details =
        crashtest::loadedImageDetails(reinterpret_cast<const void*>(&readFolder));
    Folder local = crash;
    const std::string base = std::to_string(details.slot.baseAddress);
    const std::string pc = std::to_string(reinterpret_cast<uintptr_t>(&readFolder) + 1);
    local["binary_images.crwrecord"] = "{\"load\":{\"path\":\"/x/tests\",\"uuid\":\"" +
                                       std::string(details.uuidString) + "\",\"base\":" + base +
                                       ",\"size\":" + std::to_string(details.slot.size) + "}}\n" +
                                       crash["binary_images.crwrecord"];
    local["exception.crwrecord"] = "{\"exception\":{\"name\":\"6e\"}}\n{\"threads\":[{\"stacktrace\":[" + pc +
                                   "," + base + ",7]}]}\n{\"storage\":{}}\n";

    defaults_.emplace(home_->path() / "defaults");
    auto installIDModel = std::make_shared<CRWInstallIdentifierModel>(nullptr, *defaults_);
    std::mt19937 random(20240611);
    size_t marked = 0, symbolicated = 0, named = 0;
    for (int round = 0; round < 150; ++round) {
        const fs::path folder = damaged(round % 2 == 0 ? crash : local, random, round);
        const Folder before = readFolder(folder);

        auto report = CRWInternalReport::initWithPath(folder.string(), "mutation");
        if (auto loaded = CRWInternalReport::reportWithPath(folder.string())) crashtest::queryReport(*loaded);
        crashtest::queryReport(*report);
        CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
        operation.start();
        if (!operation.unreadableRecords().empty()) ++marked;
        symbolicated += operation.symbolicatedFiles().size();

        // Every record is still there, unchanged; a symbolicated copy reads back whole.
        for (const auto& [name, bytes] : before)
            EXPECT_EQ(testsupport::readFile(folder / name), bytes) << name << " in round " << round;
        for (const std::string& name : operation.symbolicatedFiles()) {
            const std::string copy = testsupport::readFile(folder / (name + ".symbolicated"));
            EXPECT_TRUE(CRWParseRecordBytes(copy).whole()) << round;
            if (copy.find("::readFolder(") != std::string::npos) ++named;
        }
        // Each file that did not read whole is marked.
        for (const CRWUnreadableRecord& record : operation.unreadableRecords())
            EXPECT_FALSE(CRWReadRecordFile((folder / record.fileName).string()).whole()) << record.fileName;

        // The payload carries every file that can be read, byte for byte.
        CRWReportAdapter adapter(folder.string(), "app", installIDModel, "fid", "token");
        EXPECT_FALSE(adapter.transportBytes()->empty());
        const Folder after = readFolder(folder);
        for (const CRWReportAdapter::File& file : adapter.files()) {
            auto found = after.find(file.filename);
            if (found == after.end()) continue; // a folder in a record's place is sent empty
            EXPECT_EQ(plat::toString(file.contents), found->second) << file.filename;
        }
    }
    // The damage reached the interesting paths.
    EXPECT_GT(marked, 30u);
    EXPECT_GT(symbolicated, 30u);
    EXPECT_GT(named, 5u);
}

TEST_F(ReportMutationTest, TornRecordsAreMarkedAndTheRestIsKept) {
    const fs::path folder =
        makeFolder("torn", {{"metadata.crwrecord", metadata("s", 1) + "{\"host\":{\"os_disp"},
                            {"signal.crwrecord",
                             "{\"signal\":{\"number\":11}}\n{\"threads\":[{\"stacktrace\":[1,2]}]}\n{\"runt"},
                            {"mach_exception.crwrecord", "{\"mach_exception\":{}}\n{\"threads\":[]}\n"},
                            {"log_a.crwrecord", "\x01\x02garbage\n"}});
    auto report = CRWInternalReport::reportWithPath(folder.string());
    ASSERT_TRUE(report);
    CRWProcessReportOperation operation(report, std::make_shared<CRWSymbolResolver>());
    operation.start();
    // Without an image list nothing is symbolicated, and that is marked too.
    EXPECT_TRUE(operation.symbolicatedFiles().empty());
    std::vector<std::string> names;
    for (const CRWUnreadableRecord& record : operation.unreadableRecords())
        names.push_back(record.fileName + ":" + CRWRecordFileStateName(record.state) + ":" +
                        std::to_string(record.damagedLines));
    EXPECT_EQ(names, (std::vector<std::string>{"binary_images.crwrecord:missing:0", "log_a.crwrecord:read:1",
                                               "mach_exception.crwrecord:read:0", "metadata.crwrecord:read:1",
                                               "signal.crwrecord:read:1"}));
    const CRWRecordFileContents marks = CRWReadRecordFile((folder / CRWUnreadableRecordsFile).string());
    ASSERT_EQ(marks.sections.size(), 5u);
    EXPECT_EQ(marks.sections[4]["unreadable"]["file"], plat::Object("signal.crwrecord"));
    EXPECT_EQ(marks.sections[4]["unreadable"]["damaged_lines"].number().uint64Value(), 1u);
    EXPECT_TRUE(logged("could not read signal.crwrecord whole"));
    // The crash record cut between two lines lacks its closing section, and the marks say so.
    EXPECT_EQ(marks.sections[2]["unreadable"]["unfinished"], plat::Object(true));
    EXPECT_TRUE(marks.sections[1]["unreadable"]["unfinished"].isAbsent());
    EXPECT_TRUE(logged("could not read mach_exception.crwrecord whole (read, 0 damaged lines, unfinished)"));
    // The marks are not part of the payload; the records are.
    CRWReportAdapter adapter(folder.string(), "app", nullptr, std::nullopt, std::nullopt);
    ASSERT_EQ(adapter.files().size(), 4u);
    EXPECT_EQ(adapter.files()[0].filename, "log_a.crwrecord");
}

} // namespace
