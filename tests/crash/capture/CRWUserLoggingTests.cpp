// User logging: key-value stores and their compaction, log lines, recorded errors and the A/B
// rotation, against real files in a started crash context.
#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWContextInitialize.h"
#include "crash/record/CRWFileRead.h"
#include "tests/crash/capture/CaptureTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using capturetest::CaptureContext;
using capturetest::ContextOptions;
using capturetest::hex;
namespace fs = std::filesystem;

std::vector<plat::Object> kvLines(const fs::path& path) {
    std::vector<plat::Object> lines;
    for (const plat::Object& s : capturetest::sections(path))
        if (s["kv"].isDict()) lines.push_back(s["kv"]);
    return lines;
}

plat::Object::Dict userKeys() {
    return CRWUserLoggingGetCompactedKVEntries(&_crwContext.readonly->logging.userKVStorage, true).value();
}

TEST(CRWUserLoggingKeys, SixtyFourSetsOfOneKeyCompactToItsNewestValue) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    for (int i = 0; i < 63; ++i)
        CRWUserLoggingRecordUserKeyValue("colour", plat::Object("value " + std::to_string(i)));
    context.drainLoggingQueue();
    EXPECT_EQ(kvLines(context.file(CRWReportUserIncrementalKVFile)).size(), 63u) << "no compaction before 64";

    CRWUserLoggingRecordUserKeyValue("colour", plat::Object("newest"));
    context.drainLoggingQueue();
    EXPECT_FALSE(fs::exists(context.file(CRWReportUserIncrementalKVFile)));
    const auto compacted = kvLines(context.file(CRWReportUserCompactedKVFile));
    ASSERT_EQ(compacted.size(), 1u);
    // Compacted lines carry the stored hex text as it was.
    EXPECT_EQ(compacted[0]["key"].string(), hex("colour"));
    EXPECT_EQ(compacted[0]["value"].string(), hex("newest"));
    EXPECT_EQ(_crwContext.writable->logging.userKVCount, 0u);
    EXPECT_EQ(userKeys(), (plat::Object::Dict{{"colour", plat::Object("newest")}}));
}

TEST(CRWUserLoggingKeys, AKeySetToNothingIsRemovedAtOnce) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWUserLoggingRecordUserKeysAndValues(
        {{"kept", plat::Object(int64_t{42})}, {"dropped", plat::Object("x")}});
    CRWUserLoggingRecordUserKeyValue("dropped", plat::Object());
    context.drainLoggingQueue();
    // The null forced a compaction although far fewer than 64 entries were written.
    EXPECT_FALSE(fs::exists(context.file(CRWReportUserIncrementalKVFile)));
    EXPECT_EQ(userKeys(), (plat::Object::Dict{{"kept", plat::Object("42")}}));
}

TEST(CRWUserLoggingKeys, CompactionKeepsAtMostTheMaximumAndSaysHowManyWentAway) {
    CaptureContext context(ContextOptions{.maxKeyValues = 3});
    ASSERT_TRUE(context.started());
    for (const char* key : {"e", "d", "c", "b", "a"})
        CRWUserLoggingRecordUserKeyValue(key, plat::Object(std::string("v") + key));
    CRWUserLoggingRecordUserKeyValue("zzz", plat::Object::null());
    context.drainLoggingQueue();
    const plat::Object::Dict keys = userKeys();
    // The first three in the dictionary's order (keys sort by their hex text, as by their bytes).
    EXPECT_EQ(keys, (plat::Object::Dict{
                        {"a", plat::Object("va")}, {"b", plat::Object("vb")}, {"c", plat::Object("vc")}}));
    EXPECT_NE(context.logText().find("Truncating 2 keys from KV set, which is above max 3"),
              std::string::npos)
        << context.logText();
}

TEST(CRWUserLoggingKeys, AFailedCompactionLosesNothing) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWUserLoggingRecordUserKeyValue("first", plat::Object("1"));
    CRWUserLoggingRecordUserKeyValue("gone",
                                     plat::Object::null()); // compacts: "first" moves to the compacted file
    context.drainLoggingQueue();
    ASSERT_EQ(kvLines(context.file(CRWReportUserCompactedKVFile)).size(), 1u);

    // The next compaction cannot write its new file (a folder stands where it would go).
    fs::create_directories(context.file(CRWReportUserCompactedKVFile).string() + ".tmp");
    CRWUserLoggingRecordUserKeyValue("second", plat::Object("2"));
    CRWUserLoggingRecordUserKeyValue("gone", plat::Object::null());
    context.drainLoggingQueue();
    EXPECT_EQ(kvLines(context.file(CRWReportUserCompactedKVFile)).size(), 1u)
        << "the old compacted file stands";
    EXPECT_TRUE(fs::exists(context.file(CRWReportUserIncrementalKVFile))) << "and so do the new entries";
    EXPECT_EQ(userKeys(), (plat::Object::Dict{{"first", plat::Object("1")}, {"second", plat::Object("2")}}));
}

TEST(CRWUserLoggingKeys, InternalKeysWrittenOnTheCallersThreadJoinTheirOwnStore) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWUserLoggingWriteInternalKeyValue("com.crashwatch.in-background", plat::Object(true));
    CRWUserLoggingRecordInternalKeyValue("com.crashwatch.user-id", plat::Object("u-1"));
    context.drainLoggingQueue();
    EXPECT_TRUE(kvLines(context.file(CRWReportUserIncrementalKVFile)).empty());
    const auto internal =
        CRWUserLoggingGetCompactedKVEntries(&_crwContext.readonly->logging.internalKVStorage, true).value();
    EXPECT_EQ(internal.at("com.crashwatch.user-id").string(), "u-1");
    EXPECT_EQ(internal.at("com.crashwatch.in-background").string(), "true");
}

TEST(CRWUserLoggingKeys, TheCompactedViewDropsDamagedEntries) {
    const plat::Object::Array compacted = {
        plat::Object{{"key", plat::Object(hex("a"))}, {"value", plat::Object(hex("1"))}},
        plat::Object{{"key", plat::Object(hex("b"))}},                                  // no value
        plat::Object{{"key", plat::Object(hex("c"))}, {"value", plat::Object::null()}}, // null in compacted
        plat::Object{{"key", plat::Object("zz")},
                     {"value", plat::Object(hex("bad key"))}}, // not hex: empty key
    };
    const plat::Object::Array incremental = {
        plat::Object{{"key", plat::Object(hex("a"))}, {"value", plat::Object::null()}},
        plat::Object{{"key", plat::Object(hex("d"))}, {"value", plat::Object(hex("4"))}},
        plat::Object{{"value", plat::Object(hex("no key"))}},
    };
    const plat::Object::Dict view = CRWUserLoggingCompactedView(compacted, incremental, true);
    EXPECT_EQ(view, (plat::Object::Dict{{"", plat::Object("bad key")}, {"d", plat::Object("4")}}));
}

TEST(CRWUserLoggingLog, LinesRotateBetweenTheTwoFilesAtTheSizeLimit) {
    CaptureContext context(ContextOptions{.maxLogSize = 300});
    ASSERT_TRUE(context.started());
    testsupport::writeFile(context.file(CRWReportLogBFile), "stale lines of an earlier rotation\n");
    int written = 0;
    while (fs::exists(context.file(CRWReportLogAFile)) ? fs::file_size(context.file(CRWReportLogAFile)) <= 300
                                                       : true) {
        CRWLog("line %d of the log", written++);
        context.drainLoggingQueue();
        ASSERT_LT(written, 50);
    }
    // A passed its limit with the last line; the next line goes to B, which was deleted first.
    EXPECT_EQ(std::string(_crwContext.writable->logging.activeLogPath),
              context.file(CRWReportLogBFile).string());
    EXPECT_FALSE(fs::exists(context.file(CRWReportLogBFile)));
    CRWLog("first line in B");
    const auto lines = capturetest::sections(context.file(CRWReportLogBFile));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["log"]["msg"].string(), hex("first line in B"));
    EXPECT_GT(lines[0]["log"]["time"].number().uint64Value(), 1'600'000'000'000u)
        << "milliseconds since 1970";
}

TEST(CRWUserLoggingLog, AMessageOverTheLimitIsCutWithoutSplittingACharacter) {
    CaptureContext context(ContextOptions{.maxLogSize = 10});
    ASSERT_TRUE(context.started());
    CRWLog("%@", std::string("abcdefghi\xc3\xa9tail")); // "é" would straddle the 10th byte
    const auto lines = capturetest::sections(context.file(CRWReportLogAFile));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["log"]["msg"].string(), hex("abcdefghi"));
}

TEST(CRWUserLoggingLog, NothingIsWrittenBeforeStartUpHasFinished) {
    testsupport::TempHome home;
    CRWContextBaseInit(); // a context that is not initialized
    CRWLog("too early");
    CRWUserLoggingRecordUserKeyValue("key", plat::Object("value"));
    CRWUserLoggingRecordError(plat::Error("domain", 1), nullptr);
    EXPECT_TRUE(fs::is_empty(home.path()));
}

TEST(CRWUserLoggingErrors, AnErrorCarriesItsDomainCodeStackAndDescribedInformation) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    const plat::Object::Dict extra{{"attempt", plat::Object(int64_t{3})}, {"absent", plat::Object()}};
    CRWUserLoggingRecordError(plat::Error("io.velmora.network", -1009, {{"reason", plat::Object("offline")}}),
                              &extra);
    const plat::Object error = capturetest::section(context.file(CRWReportErrorAFile), "error");
    ASSERT_TRUE(error.isDict());
    EXPECT_EQ(error["domain"].string(), hex("io.velmora.network"));
    EXPECT_EQ(error["code"].number().int64Value(), -1009);
    EXPECT_FALSE(error["stacktrace"].array().empty());
    EXPECT_EQ(error["info"], plat::Object(plat::Object::Array{plat::Object(plat::Object::Array{
                                 plat::Object(hex("reason")), plat::Object(hex("offline"))})}));
    // Only values that can describe themselves are listed.
    EXPECT_EQ(error["extra_info"], plat::Object(plat::Object::Array{plat::Object(plat::Object::Array{
                                       plat::Object(hex("attempt")), plat::Object(hex("3"))})}));
}

TEST(CRWUserLoggingErrors, ErrorsSwitchFilesAfterTheEntryLimitAndAreOffWhenDisabled) {
    {
        CaptureContext context(ContextOptions{.maxCustomExceptions = 2});
        ASSERT_TRUE(context.started());
        for (int code = 1; code <= 3; ++code) {
            CRWUserLoggingRecordError(plat::Error("d", code), nullptr);
            context.drainLoggingQueue();
        }
        EXPECT_EQ(capturetest::sections(context.file(CRWReportErrorAFile)).size(), 2u);
        const auto b = capturetest::sections(context.file(CRWReportErrorBFile));
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(b[0]["error"]["code"].number().int64Value(), 3);
    }
    CaptureContext disabled(ContextOptions{.errorsEnabled = false});
    ASSERT_TRUE(disabled.started());
    CRWUserLoggingRecordError(plat::Error("d", 1), nullptr);
    EXPECT_FALSE(fs::exists(disabled.file(CRWReportErrorAFile)));
}

} // namespace
