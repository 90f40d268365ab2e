#include "platform/appkit/Application.h"

#include "platform/appkit/ApplicationDelegate.h"
#include "platform/appkit/Menu.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/runtime/Runtime.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace plat {

Application& Application::shared() {
    static Application* application = new Application();
    return *application;
}

// ---- Lifecycle ----

void Application::setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
    delegate_ = std::move(delegate);
}

void Application::post(const char* name) {
    // The delegate is called first, as the observer registered before anyone else. A copy keeps it
    // alive should it replace itself while it runs.
    const Notification notification{name, Object(), {}};
    if (auto delegate = delegate_) {
        const std::string_view n = name;
        if (n == NSApplicationWillFinishLaunchingNotification)
            delegate->applicationWillFinishLaunching(notification);
        else if (n == NSApplicationDidFinishLaunchingNotification)
            delegate->applicationDidFinishLaunching(notification);
        else if (n == NSApplicationWillBecomeActiveNotification)
            delegate->applicationWillBecomeActive(notification);
        else if (n == NSApplicationDidBecomeActiveNotification)
            delegate->applicationDidBecomeActive(notification);
        else if (n == NSApplicationDidResignActiveNotification)
            delegate->applicationDidResignActive(notification);
        else if (n == NSApplicationWillUpdateNotification)
            delegate->applicationWillUpdate(notification);
        else if (n == NSApplicationWillTerminateNotification)
            delegate->applicationWillTerminate(notification);
    }
    NotificationCenter::defaultCenter().post(notification);
}

void Application::finishLaunching(const std::function<void()>& installContent) {
    if (launched_) return;
    launched_ = true;
    post(NSApplicationWillFinishLaunchingNotification);
    if (installContent) installContent();
    post(NSApplicationDidFinishLaunchingNotification);
}

void Application::activate() {
    if (active_ || terminating_) return;
    active_ = true;
    post(NSApplicationWillBecomeActiveNotification);
    post(NSApplicationDidBecomeActiveNotification);
}

void Application::deactivate() {
    if (!active_) return;
    active_ = false;
    post(NSApplicationDidResignActiveNotification);
}

void Application::windowKeyboardFocusChanged(const Window& window, bool focused) {
    auto found = std::find(focusedWindows_.begin(), focusedWindows_.end(), &window);
    if (focused) {
        if (found == focusedWindows_.end()) focusedWindows_.push_back(&window);
        activate();
        return;
    }
    if (found == focusedWindows_.end()) return;
    focusedWindows_.erase(found);
    if (!focusedWindows_.empty()) return;
    mainQueue().async([this, epoch = focusEpoch_] {
        if (epoch == focusEpoch_ && focusedWindows_.empty()) deactivate();
    });
}

void Application::updateWindows() {
    // An observer of "will update" that runs main-queue work must not start a second pass inside
    // this one; the next turn brings its own pass.
    if (updating_) return;
    updating_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{updating_};
    post(NSApplicationWillUpdateNotification);
    // A copy: content may open or close windows during its pass.
    const auto windows = windows_;
    for (const auto& window : windows) {
        if (auto content = window->content()) content->update();
    }
    if (auto menu = mainMenu_) menu->update();
}

void Application::announceUpdatePass() {
    if (updating_) return;
    updating_ = true;
    post(NSApplicationWillUpdateNotification);
    updating_ = false;
}

void Application::run() {
    finishLaunching();
    activate();
    auto& loop = RunLoop::main();
    loop.setExceptionHandler(&Application::reportUncaughtException);
    // The first pass shows the windows installed at launch.
    updateWindows();
    while (!terminating_.load()) {
        if (loop.runOne()) {
            if (!terminating_.load()) updateWindows();
        } else {
            loop.waitForWork(std::chrono::milliseconds(100));
        }
    }
    loop.setExceptionHandler(nullptr);
}

bool Application::reportUncaughtException() {
    try {
        throw;
    } catch (const rt::RuntimeException& exception) {
        if (rt::Id application = rt::sharedApplication())
            rt::sendMessage(application, rt::kReportExceptionSelector,
                            {rt::Value(rt::exceptionObject(exception))});
        // Ended while the exception is still the one being handled, so that the terminate handler
        // sees it.
        if (UserDefaults::standard().boolean("NSApplicationCrashOnExceptions")) std::terminate();
        return true;
    } catch (...) {
        return false;
    }
}

void Application::terminate() {
    if (!isMainThread()) {
        mainQueue().async([this] { terminate(); });
        return;
    }
    if (terminating_.load()) return;
    post(NSApplicationWillTerminateNotification);
    terminating_.store(true);
    // Wakes run() should it be waiting for work.
    mainQueue().async([] {});
}

void Application::activateIgnoringOtherApps() {
    unhide();
    auto window = mainWindow();
    for (auto it = windows_.rbegin(); !window && it != windows_.rend(); ++it) {
        if ((*it)->canBecomeMainWindow()) window = *it;
    }
    if (!window && !windows_.empty()) window = windows_.back();
    if (window) window->makeKeyAndOrderFront();
    activate();
}

void Application::hide() {
    if (hidden_) return;
    hidden_ = true;
    hiddenWindows_.clear();
    for (const auto& window : windows_) {
        if (!window->isVisible()) continue;
        hiddenWindows_.push_back(window);
        window->orderOut();
    }
}

void Application::unhide() {
    if (!hidden_) return;
    hidden_ = false;
    for (const auto& weak : std::exchange(hiddenWindows_, {})) {
        if (auto window = weak.lock()) window->makeKeyAndOrderFront();
    }
}

// ---- Windows ----

void Application::windowCreated(const std::shared_ptr<Window>& window) {
    windows_.push_back(window);
}

void Application::windowOrderedFront(const std::shared_ptr<Window>& window) {
    keyWindow_ = window;
    if (window->canBecomeMainWindow()) mainWindow_ = window;
}

void Application::windowOrderedOut(const Window& window) {
    if (keyWindow_.lock().get() == &window) keyWindow_.reset();
    if (mainWindow_.lock().get() == &window) mainWindow_.reset();
    pickMainAndKeyWindow();
}

void Application::windowClosed(const Window& window) {
    // The list may hold the last reference; keep it until the window is out of every field.
    std::shared_ptr<Window> keep;
    auto it =
        std::find_if(windows_.begin(), windows_.end(), [&](const auto& w) { return w.get() == &window; });
    if (it != windows_.end()) {
        keep = *it;
        windows_.erase(it);
    }
    windowOrderedOut(window);
    windowKeyboardFocusChanged(window, false);
}

void Application::pickMainAndKeyWindow() {
    // The most recently created visible window takes over, as the frontmost one would.
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
        const auto& window = *it;
        if (!window->isVisible()) continue;
        if (!keyWindow_.lock()) keyWindow_ = window;
        if (!mainWindow_.lock() && window->canBecomeMainWindow()) mainWindow_ = window;
    }
}

// ---- Menus ----

bool Application::sendAction(const std::string& action) {
    auto window = keyWindow();
    if (!window || !window->content()) return false;
    return window->content()->performAction(action);
}

void Application::orderFrontStandardAboutPanel() {
    if (aboutHandler_) return aboutHandler_();
    const Bundle& bundle = Bundle::main();
    auto info = [&bundle](const char* key, const std::string& fallback) {
        const Object value = bundle.objectForInfoDictionaryKey(key);
        return value.isString() && !value.string().empty() ? value.string() : fallback;
    };
    const std::string name = info("CFBundleName", "Velmora");
    std::string text = "Version " + info("CFBundleShortVersionString", "0");
    if (const std::string build = info("CFBundleVersion", ""); !build.empty()) text += " (" + build + ")";
    if (const std::string copyright = info("NSHumanReadableCopyright", ""); !copyright.empty())
        text += "\n" + copyright;
    showMessage(name, text);
}

bool Application::showMessage(const std::string& title, const std::string& text) {
    if (!messageHandler_) return false;
    // A copy: the handler may replace itself.
    auto handler = messageHandler_;
    handler(title, text);
    return true;
}

void Application::showSettingsWindow() {
    if (settingsHandler_) settingsHandler_();
}

// ---- Icon ----

void Application::setApplicationIconImage(std::optional<std::string> imageName) {
    if (isMainThread()) {
        iconImage_.set(std::move(imageName));
        return;
    }
    mainQueue().async([this, imageName = std::move(imageName)] { iconImage_.set(imageName); });
}

void Application::resetForTesting() {
    iconImage_.set(std::nullopt);
    // Windows closed first: closing reaches back into the lists below.
    const auto windows = windows_;
    for (const auto& window : windows)
        window->close();
    windows_.clear();
    keyWindow_.reset();
    mainWindow_.reset();
    mainMenu_.reset();
    delegate_.reset();
    aboutHandler_ = nullptr;
    messageHandler_ = nullptr;
    settingsHandler_ = nullptr;
    launched_ = false;
    active_ = false;
    hidden_ = false;
    hiddenWindows_.clear();
    focusedWindows_.clear();
    ++focusEpoch_;
    updating_ = false;
    terminating_.store(false);
}

} // namespace plat
