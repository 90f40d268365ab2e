// The application's updater: user-initiated and scheduled checks of the update feed, the
// observable "a check can start now" state, and the two automatic settings, which it keeps in user
// defaults. With no feed configured a check ends at once with a message saying so and sends
// nothing over the network. Every call and every change of the observable state happens on the
// main thread.
#pragma once

#include "platform/dispatch/Clock.h"
#include "platform/dispatch/Scheduler.h"
#include "platform/foundation/Published.h"
#include "platform/foundation/URL.h"
#include "platform/updater/SPUUpdateFeed.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat {

class Bundle;
class UserDefaults;

class SPUUpdater : public std::enable_shared_from_this<SPUUpdater> {
public:
    // Settings keys in the user defaults.
    static constexpr const char* kAutomaticallyChecksKey = "VelmoraUpdaterAutomaticallyChecksForUpdates";
    static constexpr const char* kAutomaticallyDownloadsKey = "VelmoraUpdaterAutomaticallyDownloadsUpdates";
    // Info-dictionary key of the feed address.
    static constexpr const char* kFeedURLInfoKey = "VelmoraUpdateFeedURL";

    struct Configuration {
        std::string applicationName = "Velmora";
        std::string currentVersion = "0";
        std::optional<URL> feedURL;                      // none: checks end with a message
        UserDefaults* defaults = nullptr;                // none: the standard defaults
        Scheduler* scheduler = nullptr;                  // none: the system scheduler
        Duration checkInterval = std::chrono::hours(24); // between scheduled checks
        SPUUpdateFeed::Fetcher fetcher;                  // none: HTTP
        // Shows a check's outcome to the user; none: a console line.
        std::function<void(const std::string&)> showMessage;
    };
    // The configuration the bundle describes: its name, its short version and the feed address in
    // its Info dictionary (an address that is not http or https counts as none).
    static Configuration configurationFromBundle(const Bundle& bundle);

    static std::shared_ptr<SPUUpdater> make(Configuration configuration);
    ~SPUUpdater();
    SPUUpdater(const SPUUpdater&) = delete;
    SPUUpdater& operator=(const SPUUpdater&) = delete;

    // Starts the updater: checks become possible and, when automatic checking is on and a feed is
    // configured, the first scheduled check is set one interval from now. Later calls do nothing.
    void startUpdater();
    bool isStarted() const { return started_; }

    // A check the user asked for: the outcome is always shown. Does nothing while a check cannot
    // start (see canCheckForUpdates()).
    void checkForUpdates();
    // A scheduled check: only an available update is shown. Skipped without a feed.
    void checkForUpdatesInBackground();
    // True once started and while no check runs. Subscribers get the current value at once.
    const Published<bool>& canCheckForUpdates() const { return canCheck_; }
    bool sessionInProgress() const { return sessionInProgress_; }

    // The two automatic settings, read from and written to the user defaults. Writing the checking
    // setting starts or stops the scheduled checks; the download setting is independent of it.
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool value);
    bool automaticallyDownloadsUpdates() const;
    void setAutomaticallyDownloadsUpdates(bool value);

    // The configuration's way of showing a check's outcome (none: a console line), and its
    // replacement.
    const std::function<void(const std::string&)>& messagePresenter() const {
        return configuration_.showMessage;
    }
    void setMessagePresenter(std::function<void(const std::string&)> show) {
        configuration_.showMessage = std::move(show);
    }
    const std::optional<URL>& feedURL() const { return configuration_.feedURL; }
    // When the last check finished; none before the first.
    std::optional<TimePoint> lastUpdateCheckDate() const { return lastCheck_; }
    // The outcome of the last check, as shown or logged.
    const std::optional<std::string>& lastCheckMessage() const { return lastMessage_; }

private:
    explicit SPUUpdater(Configuration configuration);
    UserDefaults& defaults() const;
    Scheduler& scheduler() const;
    void beginSession(bool userInitiated);
    void finishSession(bool userInitiated, std::optional<std::string> body, std::optional<std::string> error);
    void report(bool userInitiated, bool important, const std::string& message);
    void scheduleNextCheck();
    void cancelScheduledCheck();

    Configuration configuration_;
    Published<bool> canCheck_{false};
    bool started_ = false;
    bool sessionInProgress_ = false;
    std::optional<Scheduler::Token> scheduled_;
    std::optional<TimePoint> lastCheck_;
    std::optional<std::string> lastMessage_;
};

} // namespace plat
