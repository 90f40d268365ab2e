// Exceptions: the classification of the active exception (as the terminate handler does it),
// allocation-free, the report entry point, the application object's reports, custom exceptions
// and on-demand reports, and the demangler of exception type names.
#include "crash/capture/CRWCaptureStartup.h"
#include "crash/capture/CRWException.h"
#include "crash/capture/CRWExceptionApplication.h"
#include "crash/capture/CRWUserLogging.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWFileRead.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/runtime/Runtime.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "tests/crash/support/CountingAllocator.h"
#include "utilities/TULLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace {

using capturetest::CaptureContext;
using capturetest::ContextOptions;
using capturetest::hex;
namespace fs = std::filesystem;

namespace velmoratest {
struct TunnelFailure : std::logic_error {
    using std::logic_error::logic_error;
};
// A template with a value argument: its type name is beyond the crash-time demangler.
template <typename T, int N> struct Tagged { T value; };
} // namespace velmoratest

// Throws `value` and records it from inside the catch block, counting the allocations of the
// recording.
// Only the recording thread is counted: threads of the dispatch layer may still be winding down from
// the context's start-up (the crash demo counts every thread of a settled process).
template <typename T> crashtest::AllocationCounts throwAndRecord(T value) {
    crashtest::AllocationCounts counts;
    try {
        throw value;
    } catch (...) {
        crashtest::AllocationCountScope counting;
        CRWCatchAndRecordActiveException();
        counts = counting.counts();
    }
    return counts;
}

plat::Object lastException(const fs::path& path) {
    plat::Object last;
    for (const plat::Object& s : capturetest::sections(path))
        if (!s["exception"].isAbsent()) last = s["exception"];
    return last;
}

TEST(CRWExceptionCapture, TheActiveExceptionIsRecordedByKindWithoutAllocating) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    const fs::path path = context.file(CRWReportExceptionFile);
    struct Case {
        crashtest::AllocationCounts counts;
        const char* name;
        const char* reason;
    };
    const velmoratest::TunnelFailure failure("the tunnel did not come up");
    const Case cases[] = {
        {throwAndRecord(std::runtime_error("boom")), "std::runtime_error", "boom"},
        {throwAndRecord<const char*>("plain text"), "const char *", "plain text"},
        {throwAndRecord(std::string("a standard string")), "std::string", "a standard string"},
        {throwAndRecord(failure), "(anonymous namespace)::velmoratest::TunnelFailure",
         "the tunnel did not come up"},
        {throwAndRecord(&failure), "(anonymous namespace)::velmoratest::TunnelFailure const*",
         "the tunnel did not come up"},
        {throwAndRecord(7), "int", ""},
    };
    const auto sections = capturetest::sections(path);
    std::vector<plat::Object> exceptions;
    for (const plat::Object& s : sections)
        if (!s["exception"].isAbsent()) exceptions.push_back(s["exception"]);
    ASSERT_EQ(exceptions.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(cases[i].counts.total(), 0u) << cases[i].name << " " << cases[i].counts;
        EXPECT_EQ(exceptions[i]["type"].string(), "c++");
        EXPECT_EQ(exceptions[i]["reason"].string(), hex(cases[i].reason)) << cases[i].name;
        EXPECT_EQ(exceptions[i]["name"].string(), hex(cases[i].name)) << cases[i].name;
    }
    EXPECT_FALSE(capturetest::section(path, "threads").array().empty());
}

TEST(CRWExceptionCapture, TypeNamesBeyondTheCrashTimeDemanglerAreKeptMangledAndMarked) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    const crashtest::AllocationCounts counts = throwAndRecord(velmoratest::Tagged<std::string, 3>{"x"});
    EXPECT_EQ(counts.total(), 0u) << counts;
    const auto sections = capturetest::sections(context.file(CRWReportExceptionFile));
    ASSERT_FALSE(sections.empty());
    const plat::Object& exception = sections.front()["exception"];
    EXPECT_EQ(exception["name"].string(), hex(typeid(velmoratest::Tagged<std::string, 3>).name()));
    EXPECT_TRUE(exception[CRWExceptionNameMangledKey].number().boolValue());

    // The runtime's exception is the application object's to report: nothing here.
    CaptureContext second;
    ASSERT_TRUE(second.started());
    std::optional<crashtest::AllocationCounts> skipped;
    try {
        throw plat::rt::RuntimeException("NSInvalidArgumentException", "unrecognized selector");
    } catch (...) {
        crashtest::AllocationCountScope counting;
        CRWCatchAndRecordActiveException();
        skipped = counting.counts();
    }
    EXPECT_EQ(skipped->total(), 0u) << *skipped;
    EXPECT_FALSE(fs::exists(second.file(CRWReportExceptionFile)));
    EXPECT_NE(second.logText().find("Skipping ObjC exception at this point"), std::string::npos);
}

TEST(CRWExceptionCapture, NothingIsRecordedWithoutAnActiveException) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWCatchAndRecordActiveException();
    EXPECT_FALSE(fs::exists(context.file(CRWReportExceptionFile)));
    EXPECT_NE(context.logText().find("no active exception"), std::string::npos);
}

TEST(CRWExceptionCapture, ReportedExceptionsKeepTheirReturnAddresses) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    const uint64_t addresses[] = {0x401000, 0x402000, 0x403000};
    CRWExceptionReportException("NSInvalidArgumentException", nullptr, addresses, 3);
    const plat::Object exception = lastException(context.file(CRWReportExceptionFile));
    EXPECT_EQ(exception["type"].string(), "objective-c");
    EXPECT_EQ(exception["reason"].string(), "") << "a missing reason is the empty string";
    ASSERT_EQ(exception["frames"].array().size(), 3u);
    EXPECT_EQ(exception["frames"].at(2)["pc"].number().uint64Value(), 0x403000u);
    EXPECT_TRUE(exception["frames"].at(0)["symbol"].isAbsent());
}

TEST(CRWExceptionCustom, CustomExceptionsGoToTheirStoreAndRespectTheLimit) {
    {
        CaptureContext context(ContextOptions{.maxCustomExceptions = 1});
        ASSERT_TRUE(context.started());
        CRWStackFrame frame;
        frame.pc = 0x1234;
        frame.symbol = "main";
        frame.line = (int64_t{1} << 32) + 17;
        CRWExceptionRecordModel("Custom", "", {frame});
        context.drainLoggingQueue();
        const plat::Object first = lastException(context.file(CRWReportCustomExceptionAFile));
        EXPECT_EQ(first["type"].string(), "custom");
        EXPECT_EQ(first["reason"].string(), "");
        EXPECT_EQ(first["frames"].at(0)["symbol"].string(), hex("main"));
        EXPECT_EQ(first["frames"].at(0)["line"].number().uint64Value(), 17u) << "the low 32 bits";
        // One entry fills A; the next goes to B, and A is cleared for the one after.
        CRWExceptionRecordModel("Second", "why", {});
        context.drainLoggingQueue();
        EXPECT_EQ(lastException(context.file(CRWReportCustomExceptionBFile))["name"].string(), hex("Second"));
        EXPECT_FALSE(fs::exists(context.file(CRWReportCustomExceptionAFile)));
        EXPECT_FALSE(fs::exists(context.file(CRWReportExceptionFile))) << "custom exceptions are not fatal";
    }
    CaptureContext off(ContextOptions{.customExceptionsEnabled = false});
    ASSERT_TRUE(off.started());
    CRWExceptionRecordModel("Custom", "reason", {});
    EXPECT_FALSE(fs::exists(off.file(CRWReportCustomExceptionAFile)));
}

TEST(CRWExceptionCustom, OnDemandExceptionsBecomeReportsOfTheirOwn) {
    CaptureContext context;
    ASSERT_TRUE(context.started());
    CRWExceptionRecordModel("Earlier", "custom", {});
    context.drainLoggingQueue();
    ASSERT_TRUE(fs::exists(context.file(CRWReportCustomExceptionAFile)));
    const fs::path active = context.report().parent_path() / "active";
    fs::create_directories(active);

    const auto nonFatal = CRWExceptionRecordOnDemand(CRWExceptionTypeCustom, "OnDemand", "now", {}, false, 3,
                                                     1, active.string());
    ASSERT_TRUE(nonFatal.has_value());
    EXPECT_FALSE(fs::exists(context.file(CRWReportCustomExceptionAFile))) << "moved to the new report";
    const fs::path report = *nonFatal;
    EXPECT_EQ(report.parent_path(), active);
    EXPECT_EQ(report.filename().string().size(), 32u);
    const auto exceptions = capturetest::sections(report / CRWReportCustomExceptionAFile);
    ASSERT_GE(exceptions.size(), 2u) << "the earlier exception and this one";
    EXPECT_EQ(lastException(report / CRWReportCustomExceptionAFile)["name"].string(), hex("OnDemand"));
    EXPECT_FALSE(capturetest::section(report / CRWReportCustomExceptionAFile, "threads").isAbsent());
    EXPECT_TRUE(fs::exists(report / CRWReportMetadataFile)) << "a copy of the current report";
    plat::Object::Dict counts;
    for (const plat::Object& s : capturetest::sections(report / CRWReportInternalIncrementalKVFile))
        counts[*CRWFileHexDecodeString(s["kv"]["key"].string())] =
            *CRWFileHexDecodeString(s["kv"]["value"].string());
    EXPECT_EQ(counts["com.crashwatch.on-demand.recorded-exceptions"], plat::Object("3"));
    EXPECT_EQ(counts["com.crashwatch.on-demand.dropped-exceptions"], plat::Object("1"));

    const auto fatal =
        CRWExceptionRecordOnDemand(CRWExceptionTypeCustom, "Fatal", "", {}, true, 4, 0, active.string());
    ASSERT_TRUE(fatal.has_value());
    EXPECT_TRUE(fs::exists(fs::path(*fatal) / "custom_fatal.crwrecord"));
    EXPECT_EQ(lastException(fs::path(*fatal) / CRWReportExceptionFile)["name"].string(), hex("Fatal"));
    EXPECT_FALSE(CRWExceptionRecordOnDemand(CRWExceptionTypeCustom, "x", "", {}, false, 0, 0,
                                            (context.report() / "metadata.crwrecord").string())
                     .has_value())
        << "a folder that cannot hold the report";
}

TEST(CRWExceptionDemangling, ClassNamesAreDemangledAndTheRestStaysAsItIs) {
    const std::pair<const char*, const char*> names[] = {
        {"St13runtime_error", "std::runtime_error"},
        {"N3foo3BarE", "foo::Bar"},
        {"9Exception", "Exception"},
        {"NSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
         "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char>>"},
        {"PKc", "char const*"},
        {"N5outer5inner5ErrorIiPvEE", "outer::inner::Error<int, void*>"},
        {"i", "int"},
    };
    char buffer[256];
    for (const auto& [mangled, expected] : names) {
        EXPECT_TRUE(CRWExceptionDemangle(mangled, buffer, sizeof(buffer))) << mangled;
        EXPECT_STREQ(buffer, expected);
    }
    for (const char* unknown : {"Z4mainE5Local", "N3fooE3Bar", "5Short1", "10Truncated"}) {
        EXPECT_FALSE(CRWExceptionDemangle(unknown, buffer, sizeof(buffer))) << unknown;
        EXPECT_STREQ(buffer, unknown);
    }
    char small[8];
    EXPECT_FALSE(CRWExceptionDemangle("St13runtime_error", small, sizeof(small)));
    EXPECT_STREQ(small, "St13run") << "too long for the buffer: the mangled name, cut";
}

// The application object and its "reportException:" as the platform made it, put back afterwards;
// the standard user defaults start empty.
class CRWExceptionApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::UserDefaults::resetForTesting();
        application_ = plat::rt::getClass(plat::rt::kNSApplicationClassName);
        selector_ = plat::rt::selector(plat::rt::kReportExceptionSelector);
        platform_ = plat::rt::classMethodImplementation(application_, selector_);
        ASSERT_TRUE(platform_) << "the platform's application object reports exceptions";
        previousSink_ = plat::OSLog::setSink([this](const plat::OSLog::Entry& entry) {
            std::lock_guard guard(linesLock_);
            lines_.push_back(entry.text);
        });
    }
    void TearDown() override {
        plat::rt::replaceMethod(application_, selector_, platform_, plat::rt::kReportExceptionTypes);
        plat::OSLog::setSink(previousSink_);
        plat::UserDefaults::resetForTesting();
    }
    // Stands in for the platform's implementation, counting its calls.
    void countPreviousReports() {
        plat::rt::replaceMethod(application_, selector_,
                                plat::rt::makeImplementation([this](const plat::rt::Id&, plat::rt::SEL,
                                                                    const plat::rt::Arguments& arguments) {
                                    ++previousReports_;
                                    reported_ = arguments.at(0).object();
                                    return plat::rt::Value();
                                }),
                                plat::rt::kReportExceptionTypes);
    }
    static plat::rt::RuntimeException raise() {
        try {
            plat::rt::sendMessage(plat::rt::sharedApplication(), "aMessageNobodyAnswers");
        } catch (const plat::rt::RuntimeException& exception) {
            return exception;
        }
        throw std::logic_error("the message was answered");
    }
    bool logged(const std::string& text) {
        TULLoggerWaitUntilWritten();
        std::lock_guard guard(linesLock_);
        return std::any_of(lines_.begin(), lines_.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    }

    capturetest::CaptureContext context_;
    plat::rt::Class application_ = nullptr;
    plat::rt::SEL selector_ = nullptr;
    plat::rt::IMP platform_;
    int previousReports_ = 0;
    plat::rt::Id reported_;
    std::mutex linesLock_;
    std::vector<std::string> lines_;
    plat::OSLog::Sink previousSink_;
};

TEST_F(CRWExceptionApplicationTest, AReportedExceptionIsRecordedWithItsFramesThenReportedAsBefore) {
    ASSERT_TRUE(context_.started());
    countPreviousReports();
    CRWExceptionInstallApplicationHook(nullptr);
    EXPECT_FALSE(CRWExceptionApplicationHookInstalled()) << "not without NSApplicationCrashOnExceptions";

    plat::UserDefaults::standard().set("NSApplicationCrashOnExceptions", plat::Object(true));
    CRWExceptionPart part{};
    CRWExceptionInstallApplicationHook(&part);
    // A second start-up keeps the first previous implementation instead of chaining to itself.
    CRWExceptionInstallApplicationHook(&part);
    EXPECT_TRUE(CRWExceptionApplicationHookInstalled());
    EXPECT_NE(part.originalReportException, nullptr);

    const plat::rt::RuntimeException raised = raise();
    ASSERT_FALSE(raised.callStackReturnAddresses().empty());
    const plat::rt::Id exception = plat::rt::exceptionObject(raised);
    plat::rt::sendMessage(plat::rt::sharedApplication(), selector_, {plat::rt::Value(exception)});
    EXPECT_EQ(previousReports_, 1) << "the previous implementation runs once, after the record";
    EXPECT_EQ(reported_, exception) << "with the same arguments";

    const auto sections = capturetest::sections(context_.file(CRWReportExceptionFile));
    ASSERT_FALSE(sections.empty());
    const plat::Object& recorded = sections.front()["exception"];
    EXPECT_EQ(recorded["type"].string(), "objective-c");
    EXPECT_EQ(recorded["name"].string(), hex("NSInvalidArgumentException"));
    EXPECT_EQ(recorded["reason"].string(), hex(raised.what()));
    ASSERT_EQ(recorded["frames"].array().size(), raised.callStackReturnAddresses().size());
    for (size_t i = 0; i < raised.callStackReturnAddresses().size(); ++i)
        EXPECT_EQ(recorded["frames"].at(i)["pc"].number().uint64Value(),
                  raised.callStackReturnAddresses()[i]);
    EXPECT_FALSE(capturetest::section(context_.file(CRWReportExceptionFile), "threads").isAbsent())
        << "followed by the common crash path";
    EXPECT_NE(context_.logText().find("Recording an NSException"), std::string::npos);
}

TEST_F(CRWExceptionApplicationTest, StartUpWarnsWhenTheApplicationsReportsCannotBeRecorded) {
    ASSERT_TRUE(context_.started());
    const char* notSet = "Warning: NSApplicationCrashOnExceptions is not set. This will result in poor "
                         "top-level uncaught exception reporting.";
    const char* notOurs = "Warning: top-level NSApplication-reported exceptions cannot be intercepted";
    CRWExceptionCheckHandlers();
    EXPECT_TRUE(logged(notSet));
    EXPECT_FALSE(logged(notOurs));

    TULLoggerWaitUntilWritten();
    {
        std::lock_guard guard(linesLock_);
        lines_.clear();
    }
    plat::UserDefaults::standard().set("NSApplicationCrashOnExceptions", plat::Object(true));
    CRWExceptionInstallApplicationHook(nullptr);
    CRWExceptionCheckHandlers();
    EXPECT_FALSE(logged(notSet));
    EXPECT_FALSE(logged(notOurs));

    // Someone replaced the implementation after start-up.
    countPreviousReports();
    CRWExceptionCheckHandlers();
    EXPECT_TRUE(logged(notOurs));
}

} // namespace
