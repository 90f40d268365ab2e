#include "app/CommandLine.h"

#include "app/UnsentCrashReportsAction.h"
#include "app/tour/DemoTour.h"
#include "core/TSRLogger.h"
#include "platform/foundation/Bundle.h"
#include "sessions/DevEventConsoleLogger.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

struct LaunchSwitch {
    const char* argument;
    const char* meaning;
};

// The single-dash arguments that the components look for in the process's arguments.
constexpr LaunchSwitch kLaunchSwitches[] = {
    {kTSRSessionsDebugEventsArgument, "log each session event it sends, readably"},
    {kTSREnableDebugModeApplicationArgument, "app core debug logging, on until disabled"},
    {kTSRDisableDebugModeApplicationArgument, "turn that debug logging off again"},
    {kSendUnsentCrashReportsArgument, "send every unsent crash report"},
    {kDeleteUnsentCrashReportsArgument, "delete every unsent crash report"},
};

bool isLaunchSwitch(std::string_view argument) {
    for (const auto& launchSwitch : kLaunchSwitches)
        if (argument == launchSwitch.argument) return true;
    return false;
}

void printUsage() {
    std::fputs("Usage: velmora [OPTION]...\n"
               "Starts the Velmora VPN client: in windows on $DISPLAY, headless without one.\n"
               "\n"
               "Options:\n"
               "  --tour <folder>   run the scripted demo tour, writing its screenshots into\n"
               "                    <folder>; needs a display, $VELMORA_DEMO_EMAIL and\n"
               "                    $VELMORA_DEMO_PASSWORD\n"
               "  -h, --help        print this help and exit\n"
               "  --version         print the version and exit\n"
               "\n"
               "Launch switches:\n",
               stdout);
    for (const auto& launchSwitch : kLaunchSwitches) {
        std::string line = std::string("  ") + launchSwitch.argument;
        line.resize(36, ' ');
        std::printf("%s%s\n", line.c_str(), launchSwitch.meaning);
    }
    std::fputs("\n"
               "Environment:\n"
               "  VELMORA_HOME          one folder for all of Velmora's settings, data and\n"
               "                        caches, instead of the XDG folders\n"
               "  VELMORA_API_BASE      the Velmora service's API address, instead of the\n"
               "                        built-in one\n"
               "  VELMORA_TESSERA_BASE  scheme://host:port of the app core's services\n"
               "                        (installations, settings, telemetry upload)\n"
               "  VELMORA_BUNDLE        the bundle folder (Info.plist and resources), instead\n"
               "                        of resources/ beside the executable\n"
               "  VELMORA_NETWORK_REACHABILITY\n"
               "                        'reachable' or 'unreachable', taken for the whole run\n"
               "                        instead of the kernel's routes\n"
               "  VELMORA_REQUEST_TIMEOUT_SECONDS\n"
               "                        how long a request to the Velmora service's API\n"
               "                        may go with no byte moving (connecting, sending\n"
               "                        or receiving) before it fails, instead of 10\n"
               "                        seconds: seconds above 0 and up to 86400 (a day),\n"
               "                        rounded up to whole milliseconds; a reply that\n"
               "                        keeps trickling in is not cut off. Any other\n"
               "                        value is refused with one line on standard error\n"
               "                        and 10 seconds are used\n",
               stdout);
}

// The version of the bundle the application would run with; the bundle is read-only input and
// lies outside the user's folders.
int printVersion() {
    const auto& bundle = plat::Bundle::main();
    const auto version = bundle.objectForInfoDictionaryKey("CFBundleShortVersionString");
    if (!version.isString()) {
        std::fprintf(stderr, "velmora: no version in %s\n", (bundle.bundlePath() / "Info.plist").c_str());
        return 1;
    }
    std::printf("Velmora %s\n", version.string().c_str());
    return 0;
}

int refuse(const std::string& what) {
    std::fprintf(stderr, "velmora: %s\nTry 'velmora --help' for more information.\n", what.c_str());
    return 2;
}

} // namespace

std::optional<int> CommandLine::answer(int argc, char** argv) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-")
            return refuse("unexpected argument '" + std::string(argument) + "'");
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            printUsage();
            return 0;
        } else if (argument == "--version") {
            return printVersion();
        } else if (argument == "--tour") {
            // An option where the folder belongs is a mistake, not a folder to make.
            if (auto problem = DemoTour::folderArgumentProblem(i + 1 < argc ? argv[i + 1] : nullptr))
                return refuse(*problem);
            ++i; // its folder, which DemoTour reads
        } else if (!argument.starts_with("--tour=") && !isLaunchSwitch(argument)) {
            return refuse("unknown option '" + std::string(argument) + "'");
        }
    }
    return std::nullopt;
}
