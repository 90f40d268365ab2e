// The crash demo end to end: it crashes in each mode into a report folder of the crash reporter's
// tree; the next launch's report upload processes, symbolicates and sends each report through the
// crash-report transport to the stand-in, whose stored bodies hold payloads whose files equal the
// records of the crashed runs.
#include "core/TSRClassRegistry.h"
#include "crash/manager/CRWExistingReportManager.h"
#include "standin/StandinServer.h"
#include "tests/crash/capture/CaptureTestSupport.h"
#include "transport/TTRTransport.h"
#include "transport/TTRTransportClasses.h"

#include "tests/crash/manager/WireFields.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace {

TEST(CrashDemoUploadTest, EachModesReportIsSymbolicatedAndUploadedWithItsRecords) {
    testsupport::TempHome home;
    standin::StandinServer server;
    server.start();
    setenv("VELMORA_TESSERA_BASE", ("http://127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
    TTRRegisterTransportClasses();
    TSRClassRegistry::shared().bootstrap();

    auto fileManager = std::make_shared<CRWFileManager>();
    ASSERT_TRUE(fileManager->createReportDirectories());
    const std::vector<std::string> modes{"segv", "abort", "exception", "trap"};
    std::map<std::string, std::map<std::string, std::string>> recordsByMode;
    for (const auto& mode : modes) {
        fs::path folder = fs::path(fileManager->activePath()) / ("demo-" + mode);
        capturetest::DemoRun run = capturetest::runDemo({mode, folder.string()});
        ASSERT_NE(run.termSignal, 0) << mode << ": " << run.output;
        for (const auto& entry : fs::directory_iterator(folder))
            if (entry.path().extension() == ".crwrecord")
                recordsByMode[mode][entry.path().filename()] = testsupport::readFile(entry);
    }

    auto appIDModel = std::make_shared<CRWApplicationIdentifierModel>(
        std::map<std::string, std::string>{{"x86_64", "0123"}});
    auto settings = std::make_shared<CRWSettings>(fileManager->settingsDirectoryPath(), appIDModel);
    auto managerData = std::make_shared<CRWManagerData>(
        "1:42:mac:9f", TTRTransport::initWithMappingID("2101", {}, 1002), nullptr, fileManager,
        [] { return true; }, settings, nullptr, appIDModel);
    auto existing = std::make_shared<CRWExistingReportManager>(
        managerData, std::make_shared<CRWReportUploader>(managerData));
    existing->collectExistingReports();
    ASSERT_EQ(existing->unsentReportsCount(), modes.size());
    // Urgent, as after a launch that failed: each report is stored by the transport before the next.
    existing->sendUnsentReportsWithToken(CRWDataCollectionToken::validToken(), true);

    std::vector<std::map<std::string, std::string>> payloads;
    for (int i = 0; i < 1000 && payloads.size() < modes.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        payloads.clear();
        for (const auto& record : server.uploads().records()) {
            if (record.target != 1002 || record.status != 200) continue;
            for (auto& files : crashtest::uploadedReportFiles(record.body))
                payloads.push_back(std::move(files));
        }
    }
    EXPECT_EQ(payloads.size(), modes.size());
    for (const auto& mode : modes) {
        bool found = false;
        for (const auto& files : payloads) {
            bool all = true;
            for (const auto& [name, contents] : recordsByMode[mode])
                all = all && files.count(name) && files.at(name) == contents;
            if (!all) continue;
            found = true;
            bool symbolicated = false;
            for (const auto& entry : files)
                symbolicated = symbolicated || entry.first.find(".symbolicated") != std::string::npos;
            EXPECT_TRUE(symbolicated) << mode;
        }
        EXPECT_TRUE(found) << mode << "'s records are not in any uploaded payload";
    }
    // Only the demo's crashed marker (it names the report tree as its root) stays in "active".
    for (const auto& path : fileManager->activePathContents())
        EXPECT_EQ(fs::path(path).filename(), "previously-crashed");
    EXPECT_TRUE(fileManager->preparedPathContents().empty());
    setenv("VELMORA_TESSERA_BASE", "http://127.0.0.1:9", 1);
}

} // namespace
