// The running application as the desktop sees it: its delegate and lifecycle (launch, activation,
// update passes, termination, each announced on the default notification centre under the
// platform's names), its windows with the key and main window, its main menu, and the dock and
// window icon. Created on first use, never destroyed. Main thread only, except where noted.
#pragma once

#include "platform/foundation/Published.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {

class ApplicationDelegate;
class Menu;
class Window;

inline constexpr const char* NSApplicationWillFinishLaunchingNotification =
    "NSApplicationWillFinishLaunchingNotification";
inline constexpr const char* NSApplicationDidFinishLaunchingNotification =
    "NSApplicationDidFinishLaunchingNotification";
inline constexpr const char* NSApplicationWillBecomeActiveNotification =
    "NSApplicationWillBecomeActiveNotification";
inline constexpr const char* NSApplicationDidBecomeActiveNotification =
    "NSApplicationDidBecomeActiveNotification";
inline constexpr const char* NSApplicationDidResignActiveNotification =
    "NSApplicationDidResignActiveNotification";
inline constexpr const char* NSApplicationWillUpdateNotification = "NSApplicationWillUpdateNotification";
inline constexpr const char* NSApplicationWillTerminateNotification =
    "NSApplicationWillTerminateNotification";

class Application {
public:
    static Application& shared();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // ---- Delegate and lifecycle ----
    // The delegate is kept alive by the application until it is replaced.
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate);
    const std::shared_ptr<ApplicationDelegate>& delegate() const { return delegate_; }

    // Launch: "will finish launching" (delegate first), then `installContent` (the scene layer opens
    // its windows and menus here), then "did finish launching". Runs once; later calls do nothing.
    void finishLaunching(const std::function<void()>& installContent = {});
    bool isLaunched() const { return launched_; }
    // Becoming the active application ("will become active", then "did become active") and giving
    // that up ("did resign active"); each posts only on a real change.
    void activate();
    void deactivate();
    bool isActive() const { return active_; }
    // Keyboard focus as the desktop reports it per window. The application becomes active when one
    // of its windows gains the keyboard and resigns once none has it. A loss is looked at again one
    // main-queue turn later, so focus moving between two of its windows (reported as a loss, then a
    // gain) changes nothing. A closed window loses its focus.
    void windowKeyboardFocusChanged(const Window& window, bool focused);
    bool hasKeyboardFocus() const { return !focusedWindows_.empty(); }
    // One update pass: posts "will update", then asks every window's content to update in list
    // order and validates the main menu. A pass that starts inside a pass is skipped.
    void updateWindows();
    // For update passes that another loop starts (the view toolkit's): posts "will update" unless
    // one of this application's passes is running, which has announced itself already.
    void announceUpdatePass();
    bool isUpdating() const { return updating_; }
    // Launches (when not yet done), activates, then runs the main queue with an update pass after
    // each block until terminate(). Returns after "will terminate" has been posted. A runtime
    // exception that escapes a block goes to reportUncaughtException().
    void run();
    // The top level for the exception being handled (call it inside a catch): a runtime exception
    // is handed to "reportException:" of the runtime's shared application object; then, when the
    // standard user defaults hold "NSApplicationCrashOnExceptions" as true, the process ends
    // through std::terminate with the exception still active, and otherwise the answer is true (the
    // run loop goes on). Any other exception answers false and is left to the caller.
    static bool reportUncaughtException();
    // Posts "will terminate" once and makes run() return. Any thread: from another thread the work
    // is handed to the main queue.
    void terminate();
    bool isTerminating() const { return terminating_.load(); }
    // Brings the application forward, as a second launch of it does: unhides it, orders its main
    // window (else its most recent window) front and activates it.
    void activateIgnoringOtherApps();
    // Hides or shows every window of the application at once.
    void hide();
    void unhide();
    bool isHidden() const { return hidden_; }

    // ---- Windows ----
    // Every window from its creation to its close(), in creation order.
    const std::vector<std::shared_ptr<Window>>& windows() const { return windows_; }
    std::shared_ptr<Window> keyWindow() const { return keyWindow_.lock(); }
    std::shared_ptr<Window> mainWindow() const { return mainWindow_.lock(); }

    // ---- Menus ----
    // The menu bar; none until the scene layer installs one.
    const std::shared_ptr<Menu>& mainMenu() const { return mainMenu_; }
    void setMainMenu(std::shared_ptr<Menu> menu) { mainMenu_ = std::move(menu); }
    // Sends a menu action ("copy:", ...) to the key window's content; true when it was handled.
    bool sendAction(const std::string& action);
    // What the standard About and Settings items do; the scene layer sets them.
    void setAboutPanelHandler(std::function<void()> handler) { aboutHandler_ = std::move(handler); }
    // Without a handler of its own, tells the user the bundle's name and version (showMessage).
    void orderFrontStandardAboutPanel();
    // Tells the user something in a window (the scene layer shows it as an alert over the main
    // window); false, and nothing shown, while no one has set a handler.
    using MessageHandler = std::function<void(const std::string& title, const std::string& text)>;
    void setMessageHandler(MessageHandler handler) { messageHandler_ = std::move(handler); }
    bool showMessage(const std::string& title, const std::string& text);
    void setSettingsHandler(std::function<void()> handler) { settingsHandler_ = std::move(handler); }
    bool hasSettings() const { return static_cast<bool>(settingsHandler_); }
    void showSettingsWindow();

    // ---- Icon ----
    // Sets the icon to the image of that name; none restores the default icon. Any thread may ask:
    // the change is made on the main queue (at once when called on the main thread), so the
    // published value only ever changes there.
    void setApplicationIconImage(std::optional<std::string> imageName);
    // The icon's image name (none: the default icon). Subscribers get the current name at once and
    // every change after it, on the main thread.
    const Published<std::optional<std::string>>& applicationIconImage() const { return iconImage_; }

    // Test hook: back to the default icon, on the calling thread. Also forgets the windows, menu,
    // delegate, handlers and lifecycle state, so each test starts from a fresh application.
    void resetForTesting();

private:
    friend class Window;
    Application() = default;
    void post(const char* name);
    void windowCreated(const std::shared_ptr<Window>& window);
    void windowOrderedFront(const std::shared_ptr<Window>& window);
    void windowOrderedOut(const Window& window);
    void windowClosed(const Window& window);
    void pickMainAndKeyWindow();

    Published<std::optional<std::string>> iconImage_;
    std::shared_ptr<ApplicationDelegate> delegate_;
    std::vector<std::shared_ptr<Window>> windows_;
    std::weak_ptr<Window> keyWindow_;
    std::weak_ptr<Window> mainWindow_;
    std::vector<const Window*> focusedWindows_; // the windows that have the keyboard
    uint64_t focusEpoch_ = 0;                   // bumped by resetForTesting, so late checks are dropped
    std::vector<std::weak_ptr<Window>> hiddenWindows_; // the windows hide() took off screen
    std::shared_ptr<Menu> mainMenu_;
    std::function<void()> aboutHandler_;
    MessageHandler messageHandler_;
    std::function<void()> settingsHandler_;
    bool launched_ = false;
    bool active_ = false;
    bool hidden_ = false;
    bool updating_ = false;
    std::atomic<bool> terminating_{false};
};

} // namespace plat
