// Entry point of the desktop application: sets up the platform layer, then runs the application
// until the user closes its last window, interrupts it (Ctrl+C) or the system asks it to terminate.
// A launch on a data folder that a running instance holds brings that one forward and exits.
// With a display the windows are shown on it; without one the application runs headless.
//   velmora [--tour <folder>]   the scripted demo tour (see DemoTour), which needs a display
#include "app/CommandLine.h"
#include "app/VelmoraApp.h"
#include "app/tour/DemoTour.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/SingleInstance.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/ProcessExit.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/log/OSLog.h"
#include "platform/render/scene/DesktopPresenter.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <malloc.h>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

// Signals are blocked in every thread and taken by one waiting thread, which hands the stop to
// the main queue; nothing async-signal-unsafe ever runs in a handler. The application then
// terminates as it would from its Quit item ("will terminate" goes out first).
void startSignalWatcher(sigset_t signals) {
    std::thread([signals] {
        int received = 0;
        while (sigwait(&signals, &received) == 0) {
            plat::mainQueue().async([received] {
                plat::consoleLine(std::string("Received ") + (received == SIGINT ? "SIGINT" : "SIGTERM") +
                                  ", terminating the application.");
                plat::Application::shared().terminate();
            });
        }
    }).detach();
}

// Everything from the start to the end of the application; every object it makes is gone when it
// returns, so none waits at exit for background work that has been stopped.
int runApplication(int argc, char** argv) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    startSignalWatcher(signals);

    auto& process = plat::ProcessInfo::processInfo();
    process.setArguments(std::vector<std::string>(argv, argv + argc));
    std::optional<DemoTour::Options> tourOptions;
    try {
        tourOptions = DemoTour::fromCommandLine(process.arguments());
    } catch (const std::invalid_argument& error) {
        std::cerr << "velmora: " << error.what() << std::endl;
        return 2;
    }

    // Nothing is read or written before every folder, the settings and the secrets have passed the
    // check, and nothing is changed before the claim on the data folder has too: a refused launch
    // leaves the folders as it found them.
    if (auto refusal = plat::paths::preparePrivateFolders(plat::SingleInstance::inTheWay)) {
        std::cerr << "velmora: " << *refusal << std::endl;
        return 1;
    }
    // One process per data folder: a second launch brings the running one forward and leaves.
    auto claim = plat::SingleInstance::claim(plat::paths::applicationSupportDir());
    if (claim.role == plat::SingleInstance::Role::HandedOver) {
        plat::consoleLine("Velmora is already running on " + plat::paths::applicationSupportDir().string() +
                          "; its window was brought to the front.");
        return 0;
    }
    if (claim.role == plat::SingleInstance::Role::Failed) {
        std::cerr << "velmora: " << claim.error << std::endl;
        return 1;
    }
    claim.instance->setActivationHandler([] { plat::Application::shared().activateIgnoringOtherApps(); });
    auto& defaults = plat::UserDefaults::standard();
    const auto& bundle = plat::Bundle::main();

    plat::consoleLine("Velmora " + bundle.objectForInfoDictionaryKey("CFBundleShortVersionString").string() +
                      " (" + bundle.bundleIdentifier().value_or("unknown bundle") + ") on " +
                      process.operatingSystemVersionString());
    plat::consoleLine("Bundle: " + bundle.bundlePath().string());
    plat::consoleLine("Settings: " + plat::paths::configDir().string() + " (" +
                      std::to_string(defaults.dictionaryRepresentation().size()) + " stored values)");
    plat::consoleLine("Data: " + plat::paths::applicationSupportDir().string());
    plat::consoleLine("Caches: " + plat::paths::cachesDir().string());

    // Windows show the application icon while the controller names no status icon.
    std::shared_ptr<plat::scene::WindowPresenter> presenter =
        plat::render::DesktopPresenter::makeIfDisplayAvailable("AppIconMacOS");
    if (tourOptions && !presenter) {
        std::cerr << "velmora: the tour draws its screenshots in windows and needs a display; $DISPLAY is "
                  << (std::getenv("DISPLAY") ? "set, but no window could be opened on it" : "not set")
                  << std::endl;
        return 2;
    }
    if (presenter)
        plat::consoleLine(std::string("Showing the windows on display ") + std::getenv("DISPLAY") + ".");
    else
        plat::consoleLine("No display: running headless, each window prints what it shows.");
    plat::consoleLine("Running the application; press Ctrl+C to quit.");

    std::shared_ptr<DemoTour> tour;
    if (tourOptions) tour = DemoTour::start(*tourOptions);
    VelmoraApp::main(presenter);

    defaults.synchronize();
    int status = 0;
    if (tour) {
        status = tour->exitCode();
        if (!tour->finished()) std::cerr << "velmora: the application ended before the tour did" << std::endl;
    }
    plat::consoleLine("Velmora stopped cleanly.");
    return status;
}

} // namespace

int main(int argc, char** argv) {
    // The usage, the version and a mistaken argument end the process before it touches anything.
    if (const auto status = CommandLine::answer(argc, argv)) return *status;
    // Memory the application frees goes back to the system: large blocks (a decoded picture, a
    // response body) are mapped on their own rather than left in the heap once freed, and the
    // threads share two heaps instead of keeping one each.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    mallopt(M_ARENA_MAX, 2);
    const int status = runApplication(argc, argv);
    // A quit that meets a timer or a request must not have the static objects and the libraries'
    // exit cleanups torn down beneath them: the background work ends first. Should a block still
    // run after the limit, the process ends without those exit steps rather than crash in them.
    if (!plat::endBackgroundWork()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}
