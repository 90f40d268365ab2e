#include "app/tour/DemoTour.h"

#include "app/classes/Preferences.h"
#include "app/tour/TourWindow.h"
#include "platform/appkit/Application.h"
#include "platform/log/OSLog.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Host.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

using plat::ui::Host;
using plat::ui::Query;

namespace {

// How often the tour looks at the window.
constexpr auto kCheckInterval = std::chrono::milliseconds(50);

std::string loc(const std::string& key) {
    return plat::LocalizedString(key);
}

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

bool framed(const plat::Window& window, double width, double height) {
    return window.frame().size == plat::Size{width, height};
}

bool onLoginScreen(const Host& host, const plat::Window& window) {
    return host.find(Query::placeholder(loc("Email"))) && host.find(Query::button(loc("Login"))) &&
           host.alerts().empty() && framed(window, 800, 500);
}

bool showsStatus(const Host& host, const std::string& text) {
    return static_cast<bool>(host.find(Query::text(text)));
}

// Not connected: before the first connection the tunnel has no configuration yet.
bool showsNotConnected(const Host& host) {
    return showsStatus(host, loc("Not Connected")) || showsStatus(host, loc("VPN Not Connected"));
}

// The status line's text while connected, without the region ("Connected to ").
std::string connectedPrefix() {
    return plat::fillPlaceholders(loc("Connected to %@"), {""});
}

std::string clickPowerButton(Host& host) {
    auto button = host.find(Query::testId("powerButton"));
    if (!button) return "the power button is not there";
    return host.click(button) ? std::string() : "the power button did not take the click";
}

} // namespace

std::optional<DemoTour::Options> DemoTour::fromCommandLine(const std::vector<std::string>& arguments) {
    std::optional<std::string> folder;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--tour") {
            if (i + 1 >= arguments.size())
                throw std::invalid_argument("--tour needs a folder for the screenshots");
            folder = arguments[++i];
        } else if (argument.rfind("--tour=", 0) == 0) {
            folder = argument.substr(7);
        }
    }
    if (!folder) folder = environment("VELMORA_TOUR_DIR");
    if (!folder) return std::nullopt;
    if (folder->empty()) throw std::invalid_argument("--tour needs a folder for the screenshots");
    Options options;
    options.folder = std::filesystem::absolute(*folder);
    auto email = environment("VELMORA_DEMO_EMAIL");
    auto password = environment("VELMORA_DEMO_PASSWORD");
    if (!email || !password)
        throw std::invalid_argument(
            "the tour signs in with $VELMORA_DEMO_EMAIL and $VELMORA_DEMO_PASSWORD; set both");
    options.email = *email;
    options.password = *password;
    if (auto seconds = environment("VELMORA_TOUR_STEP_SECONDS")) {
        char* end = nullptr;
        const double value = std::strtod(seconds->c_str(), &end);
        if (end == seconds->c_str() || *end != '\0' || !(value > 0) || value > 3600)
            throw std::invalid_argument("$VELMORA_TOUR_STEP_SECONDS must be a number of seconds above 0");
        options.stepTimeout = plat::durationFromSeconds(value);
    }
    return options;
}

std::shared_ptr<DemoTour> DemoTour::start(Options options) {
    std::shared_ptr<DemoTour> tour(new DemoTour(std::move(options)));
    std::error_code error;
    std::filesystem::create_directories(tour->options_.folder, error);
    tour->beginStep();
    tour->scheduleCheck();
    return tour;
}

DemoTour::DemoTour(Options options) : options_(std::move(options)), steps_(makeSteps()) {}

std::vector<DemoTour::Step> DemoTour::makeSteps() const {
    const std::string email = options_.email;
    const std::string password = options_.password;
    return {
        {"the login window at 800 by 500", "01-login.png", onLoginScreen,
         [email, password](Host& host) -> std::string {
             auto mail = host.find(Query::placeholder(loc("Email")));
             auto secret = host.find(Query::kind(plat::ui::ViewKind::SecureField));
             if (!mail || !secret) return "the login form has no e-mail or password field";
             if (!host.setText(mail, email) || !host.setText(secret, password))
                 return "the login form took no text";
             auto login = host.find(Query::button(loc("Login")));
             if (!login || !host.click(login)) return "the Login button did not take the click";
             return {};
         }},
        {"the main window at 300 by 600 with its regions loaded", "02-main.png",
         [](Host& host, plat::Window& window) {
             return host.find(Query::testId("powerButton")) && showsNotConnected(host) &&
                    framed(window, 300, 600) && Preferences::configId() != 0;
         },
         clickPowerButton},
        {"the status \"" + connectedPrefix() + "…\"", "03-connected.png",
         [](Host& host, plat::Window&) {
             return static_cast<bool>(host.find(Query::textContaining(connectedPrefix())));
         },
         clickPowerButton},
        {"the status \"" + loc("Not Connected") + "\" again", "04-disconnected.png",
         [](Host& host, plat::Window&) { return showsStatus(host, loc("Not Connected")); },
         [](Host& host) -> std::string {
             auto menu = host.find(Query::kind(plat::ui::ViewKind::Menu));
             if (!menu || !host.click(menu)) return "the account menu did not open";
             auto logOut = host.find(Query::button(loc("Log out")));
             if (!logOut || !host.click(logOut)) return "the account menu has no Log out item to choose";
             return {};
         }},
        {"the login window again after logging out", "05-logged-out.png", onLoginScreen, {}},
    };
}

void DemoTour::beginStep() {
    readyChecks_ = 0;
    deadline_ = plat::Clock::system().now() + options_.stepTimeout;
    if (current_ < steps_.size()) plat::consoleLine("Tour: waiting for " + steps_[current_].description);
}

void DemoTour::scheduleCheck() {
    std::weak_ptr<DemoTour> weak = weak_from_this();
    plat::mainQueue().asyncAfter(kCheckInterval, [weak] {
        if (auto tour = weak.lock()) tour->check();
    });
}

void DemoTour::check() {
    if (finished_) return;
    auto window = TourWindow::mainWindow();
    Host* host = window ? TourWindow::host(*window) : nullptr;
    const Step& step = steps_[current_];
    const bool ready = host && !host->needsUpdate() && step.ready(*host, *window);
    // Two checks in a row: what a screen does one turn after it appears (sizing the window) has
    // been done by then.
    readyChecks_ = ready ? readyChecks_ + 1 : 0;
    if (readyChecks_ < 2) {
        if (plat::Clock::system().now() >= deadline_) {
            std::ostringstream seconds;
            seconds << plat::secondsFromDuration(options_.stepTimeout);
            fail("timed out after " + seconds.str() + " s waiting for " + step.description, host);
            return;
        }
        scheduleCheck();
        return;
    }
    const auto path = options_.folder / step.shot;
    if (!TourWindow::writeScreenshot(*window, path)) {
        fail("could not write " + path.string(), host);
        return;
    }
    screenshots_.push_back(path);
    plat::consoleLine("Tour screenshot: " + path.string());
    // The laid-out tree beside the picture, for finding out why something looks as it does.
    std::ofstream(std::filesystem::path(path).replace_extension(".txt")) << host->dump();
    if (step.act) {
        const std::string error = step.act(*host);
        if (!error.empty()) {
            fail(error, host);
            return;
        }
    }
    if (++current_ == steps_.size()) {
        finish();
        return;
    }
    beginStep();
    scheduleCheck();
}

void DemoTour::fail(const std::string& reason, Host* host) {
    finished_ = true;
    exitCode_ = 1;
    failure_ =
        "step " + std::to_string(current_ + 1) + " of " + std::to_string(steps_.size()) + ": " + reason;
    std::cerr << "Tour failed at " << failure_ << "\n";
    if (host) std::cerr << "The window shows:\n" << host->dump() << "\n";
    std::cerr.flush();
    plat::Application::shared().terminate();
}

void DemoTour::finish() {
    finished_ = true;
    exitCode_ = 0;
    plat::consoleLine("Tour finished: " + std::to_string(screenshots_.size()) + " screenshots in " +
                      options_.folder.string());
    plat::Application::shared().terminate();
}
