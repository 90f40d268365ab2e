// The report payload: the folder's record files whole and in name order, the identifiers of the run
// and installation, checked by decoding the bytes with the protocol compiler against our schema.
#include "crash/report/CRWInstallIdentifierModel.h"
#include "crash/report/CRWReportAdapter.h"
#include "tests/crash/report/ReportTestSupport.h"

#include <filesystem>
#include <map>
#include <random>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// The top-level fields of an encoded message, by tag, in wire order.
std::vector<std::pair<uint32_t, std::string>> topLevelFields(const plat::Data& bytes) {
    std::vector<std::pair<uint32_t, std::string>> fields;
    size_t at = 0;
    auto varint = [&](uint64_t& value) {
        value = 0;
        for (int shift = 0; at < bytes.size() && shift < 64; shift += 7) {
            const uint8_t byte = bytes[at++];
            value |= uint64_t(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) return true;
        }
        return false;
    };
    uint64_t key = 0, value = 0;
    while (at < bytes.size() && varint(key)) {
        if ((key & 7) == 0) {
            if (!varint(value)) break;
            fields.emplace_back(uint32_t(key >> 3), std::to_string(value));
        } else if ((key & 7) == 2) {
            if (!varint(value) || value > bytes.size() - at) break;
            fields.emplace_back(uint32_t(key >> 3),
                                std::string(bytes.begin() + long(at), bytes.begin() + long(at + value)));
            at += value;
        } else {
            break;
        }
    }
    return fields;
}

// The protocol compiler's text form of a Report.
std::string decodeWithProtoc(const plat::Data& bytes, const fs::path& scratch) {
    testsupport::writeFile(scratch, plat::toString(bytes));
    const fs::path proto(CRW_REPORT_PROTO);
    int status = -1;
    const std::string text = testsupport::runCommand(
        "protoc --decode=tessera.crashwatch.Report -I '" + proto.parent_path().string() + "' '" +
            proto.filename().string() + "' < '" + scratch.string() + "'",
        &status);
    EXPECT_EQ(status, 0) << text;
    return text;
}

// Undoes the text form's escapes (octal bytes and the usual backslash letters).
std::string unescape(const std::string& quoted) {
    std::string out;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != '\\' || i + 1 >= quoted.size()) {
            out += quoted[i];
            continue;
        }
        const char next = quoted[++i];
        if (next >= '0' && next <= '7') {
            int value = 0;
            for (int digits = 0; digits < 3 && i < quoted.size() && quoted[i] >= '0' && quoted[i] <= '7';
                 ++digits)
                value = value * 8 + (quoted[i++] - '0');
            --i;
            out += static_cast<char>(value);
        } else {
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : next;
        }
    }
    return out;
}

// The (filename, contents) pairs of the text form, in order.
std::vector<std::pair<std::string, std::string>> decodedFiles(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> files;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const size_t colon = line.find(": \"");
        if (colon == std::string::npos || line.back() != '"') continue;
        const std::string field =
            line.substr(line.find_first_not_of(' '), colon - line.find_first_not_of(' '));
        const std::string value = unescape(line.substr(colon + 3, line.size() - colon - 4));
        if (field == "filename") files.emplace_back(value, "");
        if (field == "contents" && !files.empty()) files.back().second = value;
    }
    return files;
}

class ReportPayloadTest : public reporttest::ReportTest {
protected:
    void SetUp() override {
        ReportTest::SetUp();
        defaults_.emplace(home_->path() / "defaults");
        installIDModel_ = std::make_shared<CRWInstallIdentifierModel>(nullptr, *defaults_);
    }
    void TearDown() override {
        installIDModel_.reset();
        defaults_.reset();
        ReportTest::TearDown();
    }
    std::unique_ptr<CRWReportAdapter> adapter(const fs::path& folder,
                                              std::optional<std::string> token = "token-9") {
        return std::make_unique<CRWReportAdapter>(folder.string(), "1:111:mac:abc", installIDModel_, "fid-5",
                                                  token);
    }

    std::optional<CRWUserDefaults> defaults_;
    std::shared_ptr<CRWInstallIdentifierModel> installIDModel_;
};

TEST_F(ReportPayloadTest, TheProtocolCompilerReadsEveryFileByteForByteInNameOrder) {
    // A large log of every byte value: well over the 64 KiB that a 16-bit count could hold.
    std::string large(200 * 1024, '\0');
    std::mt19937 random(7);
    for (char& byte : large)
        byte = static_cast<char>(random());
    const std::string symbolicated =
        "{\"threads\":[[{\"symbol\":\"main\",\"offset\":3,\"library\":\"app\"}]]}\n";
    const fs::path folder = makeFolder("prepared", {{"metadata.crwrecord", metadata("s1", 9)},
                                                    {"binary_images.crwrecord", "{\"load\":{}}\n"},
                                                    {"B_extra.CRWRECORD", "upper"},
                                                    {"log_a.crwrecord", large},
                                                    {"signal.crwrecord.symbolicated", symbolicated},
                                                    {"notes.txt", "not sent"},
                                                    {"sdk.log", "not sent either"}});
    const auto report = adapter(folder);
    const plat::Data bytes = *report->transportBytes();
    EXPECT_EQ(bytes, *report->transportBytes());
    EXPECT_GT(bytes.size(), large.size());

    const std::string text = decodeWithProtoc(bytes, home_->path() / "report.bin");
    const auto files = decodedFiles(text);
    ASSERT_EQ(files.size(), 5u) << text.substr(0, 2000);
    const std::vector<std::string> names{"B_extra.CRWRECORD", "binary_images.crwrecord", "log_a.crwrecord",
                                         "metadata.crwrecord", "signal.crwrecord.symbolicated"};
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].first, names[i]);
        EXPECT_TRUE(files[i].second == testsupport::readFile(folder / names[i])) << names[i];
    }
    EXPECT_NE(text.find("sdk_version: \"3.2.0\"\n"), std::string::npos) << text.substr(0, 400);
    EXPECT_NE(text.find("tsr_app_id: \"1:111:mac:abc\"\n"), std::string::npos);
    EXPECT_NE(text.find("platform: PLATFORM_MAC\n"), std::string::npos);
    EXPECT_NE(text.find("installation_uuid: \"" + installIDModel_->installID() + "\"\n"), std::string::npos);
    EXPECT_NE(text.find("build_version: \"42\"\n"), std::string::npos);
    EXPECT_NE(text.find("display_version: \"1.2.3\"\n"), std::string::npos);
    EXPECT_NE(text.find("tessera_installation_id: \"fid-5\"\n"), std::string::npos);
    EXPECT_NE(text.find("app_health_session_id: \"health-1\"\n"), std::string::npos);
    EXPECT_NE(text.find("tessera_authentication_token: \"token-9\"\n"), std::string::npos);

    // On the wire the fields come in tag order, the platform as the number 5.
    std::vector<uint32_t> tags;
    for (const auto& [tag, value] : topLevelFields(bytes))
        tags.push_back(tag);
    EXPECT_EQ(tags, (std::vector<uint32_t>{1, 3, 4, 5, 6, 7, 10, 16, 17, 19}));
    EXPECT_EQ(topLevelFields(bytes)[2].second, "5");
}

// A record cut short by a run that died while writing it goes out as it is, marked; a whole file
// goes out exactly as before, with no mark.
TEST_F(ReportPayloadTest, ARecordCutShortIsMarkedTruncated) {
    const std::string cut = "{\"signal\":{\"number\":11}}\n{\"threads\":[{\"registers\":{\"ri";
    const fs::path folder = makeFolder("cut", {{"metadata.crwrecord", metadata("s1", 9)},
                                               {"log_a.crwrecord", "{\"log\":{}}\n"},
                                               {"signal.crwrecord", cut}});
    const std::string text = decodeWithProtoc(*adapter(folder)->transportBytes(), home_->path() / "cut.bin");
    // The text form lists each file's fields in order: the mark follows its file's contents.
    const size_t signal = text.find("filename: \"signal.crwrecord\"");
    ASSERT_NE(signal, std::string::npos) << text;
    EXPECT_NE(text.find("truncated: true", signal), std::string::npos) << text;
    EXPECT_EQ(text.find("truncated"), text.rfind("truncated")) << "only the cut file is marked\n" << text;
    EXPECT_EQ(decodedFiles(text).back(), (std::pair<std::string, std::string>{"signal.crwrecord", cut}));
    EXPECT_TRUE(logged("Packaging signal.crwrecord marked as truncated"));
}

// A kill that falls between two lines leaves a crash record of whole lines that lacks the storage
// section the crash path always writes last: it is cut too. Files without a closing line are not.
TEST_F(ReportPayloadTest, ACrashRecordCutBetweenTwoLinesIsMarkedTruncated) {
    const std::string process = "{\"threads\":[{\"stacktrace\":[1,2]}]}\n{\"runtime\":{}}\n"
                                "{\"dispatch_queue_names\":[\"\"]}\n{\"thread_names\":[\"app\"]}\n"
                                "{\"process_stats\":{\"active\":1}}\n";
    const std::string storage = "{\"storage\":{\"free\":0,\"total\":0}}\n";
    const std::string exception = "{\"exception\":{\"type\":\"c++\",\"name\":\"6e\"}}\n";
    const fs::path folder =
        makeFolder("between", {{"metadata.crwrecord", metadata("s1", 9)},
                               {"binary_images.crwrecord", "{\"load\":{}}\n"},
                               {"log_a.crwrecord", "{\"log\":{}}\n"},
                               {"custom_exception_a.crwrecord", exception},
                               // After its first section, and after a later one.
                               {"signal.crwrecord", "{\"signal\":{\"number\":11}}\n"},
                               {"exception.crwrecord", exception + process},
                               // Whole.
                               {"mach_exception.crwrecord", "{\"mach_exception\":{}}\n" + process + storage},
                               {"signal.crwrecord.symbolicated", "{\"threads\":[[]]}\n"}});
    const auto report = adapter(folder);
    std::map<std::string, bool> truncated;
    for (const CRWReportAdapter::File& file : report->files())
        truncated[file.filename] = file.truncated;
    EXPECT_EQ(truncated, (std::map<std::string, bool>{{"binary_images.crwrecord", false},
                                                      {"custom_exception_a.crwrecord", false},
                                                      {"exception.crwrecord", true},
                                                      {"log_a.crwrecord", false},
                                                      {"mach_exception.crwrecord", false},
                                                      {"metadata.crwrecord", false},
                                                      {"signal.crwrecord", true},
                                                      {"signal.crwrecord.symbolicated", false}}));
    EXPECT_TRUE(logged("Packaging exception.crwrecord marked as truncated"));
}

TEST_F(ReportPayloadTest, MissingValuesAreEmptyFieldsThatStillGoOnTheWire) {
    // No metadata, a null auth token, and an empty folder: nine empty texts, no platform, no files.
    const fs::path empty = makeFolder("empty", {});
    const auto fields = topLevelFields(*adapter(empty, std::nullopt)->transportBytes());
    std::vector<uint32_t> tags;
    for (const auto& [tag, value] : fields) {
        tags.push_back(tag);
        if (tag != 5) {
            EXPECT_EQ(value, tag == 3 ? "1:111:mac:abc" : tag == 16 ? "fid-5" : "") << tag;
        }
    }
    EXPECT_EQ(tags, (std::vector<uint32_t>{1, 3, 5, 6, 7, 16, 17, 19}));

    // A folder that cannot be listed sends no files.
    const auto missing = adapter(home_->path() / "gone");
    EXPECT_TRUE(missing->files().empty());
    EXPECT_TRUE(logged("Failed to find .crwrecords from"));
}

TEST_F(ReportPayloadTest, PlatformsAreMatchedWithoutRegardToCase) {
    EXPECT_EQ(CRWReportAdapter::protoPlatformFromString(plat::Object("MAC")),
              tessera_crashwatch_Platform_PLATFORM_MAC);
    EXPECT_EQ(CRWReportAdapter::protoPlatformFromString(plat::Object("iOS")),
              tessera_crashwatch_Platform_PLATFORM_IOS);
    EXPECT_EQ(CRWReportAdapter::protoPlatformFromString(plat::Object("tvos")),
              tessera_crashwatch_Platform_PLATFORM_TVOS);
    EXPECT_EQ(CRWReportAdapter::protoPlatformFromString(plat::Object("watchos")),
              tessera_crashwatch_Platform_PLATFORM_UNKNOWN);
    EXPECT_EQ(CRWReportAdapter::protoPlatformFromString(plat::Object(int64_t{5})),
              tessera_crashwatch_Platform_PLATFORM_UNKNOWN);

    const fs::path watch = makeFolder("watch", {{"metadata.crwrecord", metadata("s", 1, "watchos")}});
    for (const auto& [tag, value] : topLevelFields(*adapter(watch)->transportBytes()))
        EXPECT_NE(tag, 4u);
}

TEST_F(ReportPayloadTest, MetadataLinesAreReadOneByOne) {
    const std::string lines =
        "{\"identity\":{\"build_version\":\"1.0\",\"app_health_session_id\":\"first\"}}\n"
        "\n"
        "not json at all\n"
        "[1,2]\n"
        "{\"host\":{\"platform\":\"mac\"}}\n"
        "{\"identity\":{\"build_version\":null}}\n"
        "{\"application\":{\"build_version\":7,\"display_version\":\"2.0\"}}\n"
        "{\"application\":{\"display_ver";
    const fs::path folder = makeFolder("lines", {{"metadata.crwrecord", lines}});
    const auto report = adapter(folder);
    // The bad lines are named by their numbers, empty lines counted.
    EXPECT_TRUE(logged("line (3) with error"));
    EXPECT_TRUE(logged("line (4) with error"));
    EXPECT_TRUE(logged("line (8) with error"));
    EXPECT_EQ(report->host().platform, plat::Object("mac"));
    EXPECT_EQ(report->application().display_version, plat::Object("2.0"));
    // The later identity replaces the earlier one whole: its session id is gone.
    EXPECT_TRUE(report->identity().app_health_session_id.isAbsent());
    EXPECT_TRUE(report->identity().build_version.isNull());
    const auto fields = topLevelFields(*report->transportBytes());
    EXPECT_EQ(fields[0], (std::pair<uint32_t, std::string>{1, ""}));
    EXPECT_TRUE(logged("Expected encodable string, but found NSNull instead. Set a symbolic breakpoint at "
                       "CRWEncodeString to debug."));
    // A number where text belongs is logged and sent empty rather than trusted.
    EXPECT_TRUE(logged("Expected encodable string, but found number instead"));
    EXPECT_EQ(CRWReportAdapter::combinedDictionariesFromFilePath((folder / "nothing").string()).size(), 0u);
}

} // namespace
