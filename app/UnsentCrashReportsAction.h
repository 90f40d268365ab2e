// A developer's way to act on the crash reports that wait while crash collection is off: launched
// with "-VelmoraSendUnsentCrashReports" or "-VelmoraDeleteUnsentCrashReports", the application asks
// the crash reporter for the newest unsent report, prints it ("Unsent crash report: <id>" or "No
// unsent crash report") and then sends or deletes every unsent report; once that is done it prints
// "Unsent crash reports handed to the transport" or "Unsent crash reports deleted". Without either
// argument it does nothing; normal use never touches the reports. Main thread only.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kSendUnsentCrashReportsArgument = "-VelmoraSendUnsentCrashReports";
inline constexpr const char* kDeleteUnsentCrashReportsArgument = "-VelmoraDeleteUnsentCrashReports";

class UnsentCrashReportsAction {
public:
    // Acts on the default app's crash reporter when `arguments` ask for it; call once after the app
    // core was configured.
    static void runFromArguments(const std::vector<std::string>& arguments);
};
