#include "app/tour/DemoTour.h"

#include "app/classes/Preferences.h"
#include "app/tour/TourWindow.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Localization.h"
#include "platform/log/OSLog.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/ui/Host.h"
#include "platform/ui/MapViewState.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
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

// A number of seconds from 0 to an hour in the variable; none when it is not set. Throws
// std::invalid_argument naming the variable for anything else.
std::optional<double> seconds(const char* name) {
    auto text = environment(name);
    if (!text) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text->c_str(), &end);
    if (end == text->c_str() || *end != '\0' || !(value >= 0) || value > 3600)
        throw std::invalid_argument(std::string("$") + name + " must be a number of seconds up to an hour");
    return value;
}

bool framed(const plat::Window& window, double width, double height) {
    return window.frame().size == plat::Size{width, height};
}

// The log-in form in the login window, which is 800 wide and at least 500 high: as high as the
// larger of its two forms needs, so that switching to sign-up does not resize it.
bool onLoginScreen(const Host& host, const plat::Window& window) {
    const plat::Size frame = window.frame().size;
    return host.find(Query::placeholder(loc("Email"))) && host.find(Query::button(loc("Login"))) &&
           host.alerts().empty() && frame.width == 800 && frame.height >= 500 &&
           host.contentSize().height >= host.minimumContentSize().height;
}

// The sign-up form in the login window, which is 800 wide and at least 500 high (as high as the
// form needs): every part of it inside the window, down to its mode row's "Log In", and the main
// button's title whole.
bool signUpFormFits(const Host& host, const plat::Window& window) {
    const plat::Size frame = window.frame().size;
    if (frame.width != 800 || frame.height < 500 || !host.find(Query::placeholder(loc("Repeat Password"))))
        return false;
    auto logIn = host.find(Query::button(loc("Log In")));
    auto signUp = host.find(Query::button(loc("Sign Up")));
    if (!logIn || !signUp) return false;
    const plat::Size tree = host.contentSize();
    auto title = signUp.find(Query::text(loc("Sign Up")));
    if (!title || logIn.frame().maxY() > tree.height || logIn.frame().maxX() > tree.width) return false;
    // Cut short, the title would be narrower than the text it shows.
    const double full =
        plat::render::FontMetrics().textWidth(title.text(), title.environment().effectiveFont());
    return title.frame().width + 0.5 >= full;
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

// Opens the account menu and chooses the item titled `title`, as a user's two clicks do.
std::string chooseFromAccountMenu(Host& host, const std::string& title) {
    auto account = host.find(Query::testId("AccountMenu"));
    auto menu = account ? account.find(Query::kind(plat::ui::ViewKind::Menu)) : plat::ui::NodeRef();
    if (!menu || !host.click(menu) || !host.openMenu()) return "the account menu did not open";
    auto item = host.openMenu().find(Query::button(loc(title)));
    if (!item || !host.click(item)) return "the account menu has no " + title + " item to choose";
    return {};
}

std::string clickCloseButton(Host& host) {
    auto sheets = host.sheets();
    auto close = sheets.empty() ? plat::ui::NodeRef() : sheets.back().find(Query::testId("closeButton"));
    if (!close || !host.click(close)) return "the sheet has no close button to click";
    return {};
}

// The region rows the list shows whole.
int wholeRows(const Host& host) {
    auto list = host.find(Query::kind(plat::ui::ViewKind::List));
    if (!list) return 0;
    int n = 0;
    for (const auto& row : host.findAll(Query::where(
             "region row", [](const plat::ui::NodeRef& r) { return r.typeName() == "VPNRegionRow"; }))) {
        const plat::Rect f = row.frame();
        if (f.y >= list.frame().y && f.maxY() <= list.frame().maxY()) ++n;
    }
    return n;
}

// One sheet, laid out, with every control (switches, buttons, pickers) inside it side to side.
bool sheetShowsEveryControl(const Host& host, const std::string& testId) {
    auto sheets = host.sheets();
    if (sheets.size() != 1 || !sheets[0].find(Query::testId(testId))) return false;
    const plat::Rect sheet = sheets[0].frame();
    for (auto kind : {plat::ui::ViewKind::Toggle, plat::ui::ViewKind::Button, plat::ui::ViewKind::Picker}) {
        for (const auto& control : sheets[0].findAll(Query::kind(kind))) {
            const plat::Rect f = control.frame();
            if (f.width > 0 && (f.x < sheet.x || f.maxX() > sheet.maxX())) return false;
        }
    }
    return true;
}

// The map has stopped moving and shows the selected region's green marker inside it.
bool mapShowsSelection(Host& host) {
    auto map = host.find(Query::kind(plat::ui::ViewKind::MapView));
    if (!map) return false;
    auto state = plat::ui::MapViewState::of(map);
    if (!state || state->isAnimating()) return false;
    const auto drawn = state->drawList(map);
    if (drawn.markers.empty()) return false;
    const auto& top = drawn.markers.back();
    return top.marker.tint == plat::map::MarkerTint::green() && top.head().x > 0 && top.head().y > 0 &&
           top.head().x < drawn.viewSize.width && top.head().y < drawn.viewSize.height;
}

} // namespace

std::optional<DemoTour::Options> DemoTour::fromCommandLine(const std::vector<std::string>& arguments) {
    std::optional<std::string> folder;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--tour") {
            const char* next = i + 1 < arguments.size() ? arguments[i + 1].c_str() : nullptr;
            if (auto problem = folderArgumentProblem(next)) throw std::invalid_argument(*problem);
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
    if (auto value = seconds("VELMORA_TOUR_STEP_SECONDS")) {
        if (!(*value > 0))
            throw std::invalid_argument("$VELMORA_TOUR_STEP_SECONDS must be a number of seconds above 0");
        options.stepTimeout = plat::durationFromSeconds(*value);
    }
    if (auto value = seconds("VELMORA_TOUR_HOLD_SECONDS")) options.hold = plat::durationFromSeconds(*value);
    return options;
}

std::optional<std::string> DemoTour::folderArgumentProblem(const char* next) {
    if (next == nullptr) return "--tour needs a folder for the screenshots";
    if (next[0] == '-')
        return std::string("--tour needs a folder for the screenshots, not the option '") + next +
               "' (write a folder whose name starts with '-' as './" + next + "')";
    return std::nullopt;
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
        {"the login window, 800 wide and at least 500 high", "01-login.png", onLoginScreen,
         [](Host& host) -> std::string {
             auto signUp = host.find(Query::button(loc("Sign Up")));
             if (!signUp || !host.click(signUp)) return "the Sign Up link did not take the click";
             return {};
         }},
        {"the sign-up form whole in the login window, its button's title in full", "02-sign-up.png",
         signUpFormFits,
         [email, password](Host& host) -> std::string {
             auto logIn = host.find(Query::button(loc("Log In")));
             if (!logIn || !host.click(logIn)) return "the Log In link did not take the click";
             auto mail = host.find(Query::placeholder(loc("Email")));
             auto secret = host.find(Query::kind(plat::ui::ViewKind::SecureField));
             if (!mail || !secret) return "the login form has no e-mail or password field";
             if (!host.setText(mail, email) || !host.setText(secret, password))
                 return "the login form took no text";
             auto login = host.find(Query::button(loc("Login")));
             if (!login || !host.click(login)) return "the Login button did not take the click";
             return {};
         }},
        {"the main window at 300 by 600 with three whole rows of regions", "03-main.png",
         [](Host& host, plat::Window& window) {
             return host.find(Query::testId("powerButton")) && showsNotConnected(host) &&
                    framed(window, 300, 600) && Preferences::configId() != 0 && wholeRows(host) >= 3;
         },
         clickPowerButton},
        {"the status \"" + connectedPrefix() + "…\" with three whole rows of regions", "04-connected.png",
         [](Host& host, plat::Window& window) {
             return host.find(Query::textContaining(connectedPrefix())) && framed(window, 300, 600) &&
                    wholeRows(host) >= 3;
         },
         clickPowerButton},
        {"the status \"" + loc("Not Connected") + "\" again", "05-disconnected.png",
         [](Host& host, plat::Window&) { return showsStatus(host, loc("Not Connected")); },
         [](Host& host) { return chooseFromAccountMenu(host, "Settings"); }},
        {"the settings sheet over the compact window with every control in reach", "06-settings-compact.png",
         [](Host& host, plat::Window& window) {
             return framed(window, 300, 600) && sheetShowsEveryControl(host, "SettingsView");
         },
         [](Host& host) -> std::string {
             if (auto error = clickCloseButton(host); !error.empty()) return error;
             return chooseFromAccountMenu(host, "Pricing");
         }},
        {"the plans sheet after its plans arrived", "07-plans.png",
         [](Host& host, plat::Window&) {
             auto sheets = host.sheets();
             return sheets.size() == 1 && host.count(Query::testId("PlanRow")) > 0 &&
                    sheetShowsEveryControl(host, "PricingView");
         },
         [](Host& host) -> std::string {
             if (auto error = clickCloseButton(host); !error.empty()) return error;
             auto appMenu = host.find(Query::testId("menuBar.Velmora"));
             if (!appMenu || !host.click(appMenu)) return "the menu bar has no application menu to open";
             return {};
         }},
        {"the menu bar's application menu open on \"" + loc("Check for Updates…") + "\"", "08-menu-bar.png",
         [](Host& host, plat::Window&) {
             auto popup = host.menuPopup();
             if (!popup || !host.sheets().empty()) return false;
             for (const auto& row : popup->rows)
                 if (row.text == loc("Check for Updates…")) return true;
             return false;
         },
         [](Host& host) -> std::string {
             host.pressKey(plat::ui::Key::Escape);
             if (host.openMenu()) return "Escape did not close the menu";
             // The full layout: compact view off in the settings.
             if (auto error = chooseFromAccountMenu(host, "Settings"); !error.empty()) return error;
             auto compact = host.find(Query::toggle(loc("Compact View")));
             if (!compact || !host.setToggle(compact, false)) return "the compact switch did not turn off";
             return clickCloseButton(host);
         }},
        {"the full layout at 800 by 600 with the selected region's marker over Europe", "09-full-layout.png",
         [](Host& host, plat::Window& window) {
             return framed(window, 800, 600) && host.sheets().empty() && mapShowsSelection(host);
         },
         [](Host& host) { return chooseFromAccountMenu(host, "Log out"); }},
        {"the login window again after logging out", "10-logged-out.png", onLoginScreen, {}},
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
    // Each open sheet was written beside the window, in its own window's picture.
    for (size_t i = 1; i <= host->sheets().size(); ++i) {
        auto sheet = path;
        sheet.replace_filename(path.stem().string() + "-sheet" + std::to_string(i) +
                               path.extension().string());
        screenshots_.push_back(sheet);
        plat::consoleLine("Tour screenshot: " + sheet.string());
    }
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
    std::string message = "Tour failed at " + failure_ + "\n";
    if (host) message += "The window shows:\n" + host->dump() + "\n";
    std::fputs(message.c_str(), stderr);
    std::fflush(stderr);
    plat::Application::shared().terminate();
}

void DemoTour::finish() {
    finished_ = true;
    exitCode_ = 0;
    plat::consoleLine("Tour finished: " + std::to_string(screenshots_.size()) + " screenshots in " +
                      options_.folder.string());
    if (options_.hold <= plat::Duration::zero()) {
        plat::Application::shared().terminate();
        return;
    }
    std::ostringstream seconds;
    seconds << plat::secondsFromDuration(options_.hold);
    plat::consoleLine("Tour: the application keeps running for up to " + seconds.str() + " s");
    plat::mainQueue().asyncAfter(options_.hold, [] { plat::Application::shared().terminate(); });
}
