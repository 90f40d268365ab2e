#include "app/UnsentCrashReportsAction.h"

#include "crash/manager/TSRCrashwatch.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/log/OSLog.h"

#include <algorithm>

void UnsentCrashReportsAction::runFromArguments(const std::vector<std::string>& arguments) {
    auto given = [&](const char* argument) {
        return std::find(arguments.begin(), arguments.end(), argument) != arguments.end();
    };
    const bool send = given(kSendUnsentCrashReportsArgument);
    if (!send && !given(kDeleteUnsentCrashReportsArgument)) return;
    std::shared_ptr<TSRCrashwatch> crashwatch = TSRCrashwatch::crashwatch();
    if (!crashwatch) {
        plat::consoleLine("No crash reporter to act on unsent crash reports");
        return;
    }
    std::weak_ptr<TSRCrashwatch> weak = crashwatch;
    crashwatch->checkAndUpdateUnsentReportsWithCompletion(
        [weak, send](std::shared_ptr<TSRCrashwatchReport> report) {
            if (report)
                plat::consoleLine("Unsent crash report: " + report->reportID() +
                                  (report->hasCrash() ? " (crash)" : " (no crash)"));
            else
                plat::consoleLine("No unsent crash report");
            std::shared_ptr<TSRCrashwatch> strong = weak.lock();
            if (!strong) return;
            plat::consoleLine(send ? "Sending unsent crash reports" : "Deleting unsent crash reports");
            if (send)
                strong->sendUnsentReports();
            else
                strong->deleteUnsentReports();
            // The crash reporter's startup ends once everything the action scheduled has run: the
            // reports are deleted, or handed to the transport for their upload.
            strong->startup().then(plat::DispatchQueue::main(), [send](const bool& started) {
                plat::consoleLine(send ? "Unsent crash reports handed to the transport"
                                       : "Unsent crash reports deleted");
                return started;
            });
        });
}
