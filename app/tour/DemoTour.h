// A scripted walk through the running application for demonstrations: it waits for the login
// window, shows the sign-up form, signs in with the demo account, waits for the compact main window
// with its region list, connects with the power button and disconnects, opens the settings sheet
// over the compact window, then the plans sheet once its plans arrived, opens the menu bar's
// application menu, switches to the full layout with the map, and logs out. After each step it
// writes a screenshot of the window (01-login.png … 10-logged-out.png, each open sheet beside it as
// "-sheet1.png", and the laid-out tree as text in a .txt file of the same name) into its folder and
// prints the paths. It drives the live window's tree through the host's input methods (the paths
// real clicks and typing take), checking on a short timer from the main queue, so the
// application's own loop keeps running. When the last step is done (and the hold asked for has
// passed), or a step does not come about in time, it terminates the application; exitCode() tells
// which. Needs windows on a display (the screenshots come from the renderer). Main thread only.
#pragma once

#include "platform/dispatch/Clock.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {
class Window;
}
namespace plat::ui {
class Host;
}

class DemoTour : public std::enable_shared_from_this<DemoTour> {
public:
    struct Options {
        std::filesystem::path folder;
        std::string email;
        std::string password;
        // How long one step may take to come about.
        plat::Duration stepTimeout = std::chrono::seconds(20);
        // How long the application keeps running after the last step before the tour ends it, for
        // a caller waiting on what the application sends in the background; ending the
        // application sooner (SIGTERM) keeps the tour's exit code.
        plat::Duration hold = plat::Duration::zero();
    };

    // The tour the command line asks for: "--tour <folder>" or "--tour=<folder>", else the folder
    // in $VELMORA_TOUR_DIR; the account comes from $VELMORA_DEMO_EMAIL and $VELMORA_DEMO_PASSWORD,
    // $VELMORA_TOUR_STEP_SECONDS may shorten or lengthen the time a step may take, and
    // $VELMORA_TOUR_HOLD_SECONDS keeps the application running that long after the last step.
    // None when no tour is asked for. Throws std::invalid_argument, with the reason, when one is
    // asked for without a folder or an account.
    static std::optional<Options> fromCommandLine(const std::vector<std::string>& arguments);
    // What is wrong with `next`, the argument after a separate "--tour", as the tour's folder: none
    // for a folder; the reason when there is none or when it is an option (it starts with '-'), so
    // "--tour --help" never makes a folder named "--help". A folder whose name starts with '-' is
    // given as "--tour ./-x" or "--tour=-x".
    static std::optional<std::string> folderArgumentProblem(const char* next);

    // Creates the folder and starts checking on the main queue.
    static std::shared_ptr<DemoTour> start(Options options);

    bool finished() const { return finished_; }
    // 0 once every step was done; 1 while the tour runs, after a failed step, or when the
    // application ended before the tour did.
    int exitCode() const { return exitCode_; }
    // The screenshots written so far, in order.
    const std::vector<std::filesystem::path>& screenshots() const { return screenshots_; }
    // Why the tour failed; empty otherwise.
    const std::string& failure() const { return failure_; }

private:
    // One step: once `ready` holds on two checks in a row the window is written to `shot`, then
    // `act` runs (it returns an error text, empty when it did its part).
    struct Step {
        std::string description;
        std::string shot;
        std::function<bool(plat::ui::Host&, plat::Window&)> ready;
        std::function<std::string(plat::ui::Host&)> act;
    };

    explicit DemoTour(Options options);
    std::vector<Step> makeSteps() const;
    void scheduleCheck();
    void check();
    void beginStep();
    void fail(const std::string& reason, plat::ui::Host* host);
    void finish();

    Options options_;
    std::vector<Step> steps_;
    size_t current_ = 0;
    int readyChecks_ = 0;
    plat::TimePoint deadline_{};
    bool finished_ = false;
    int exitCode_ = 1;
    std::string failure_;
    std::vector<std::filesystem::path> screenshots_;
};
