#include "platform/updater/SPUUpdater.h"

#include "platform/log/OSLog.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"

namespace plat {

SPUUpdater::Configuration SPUUpdater::configurationFromBundle(const Bundle& bundle) {
    Configuration configuration;
    if (auto name = bundle.objectForInfoDictionaryKey("CFBundleName");
        name.isString() && !name.string().empty())
        configuration.applicationName = name.string();
    if (auto version = bundle.objectForInfoDictionaryKey("CFBundleShortVersionString"); version.isString())
        configuration.currentVersion = version.string();
    if (auto feed = bundle.objectForInfoDictionaryKey(kFeedURLInfoKey); feed.isString()) {
        // Only web addresses: a feed must never make the updater read a local file.
        if (auto url = URL::string(feed.string())) {
            const auto scheme = url->scheme().value_or("");
            if ((scheme == "http" || scheme == "https") && url->host()) configuration.feedURL = url;
        }
    }
    return configuration;
}

std::shared_ptr<SPUUpdater> SPUUpdater::make(Configuration configuration) {
    return std::shared_ptr<SPUUpdater>(new SPUUpdater(std::move(configuration)));
}

SPUUpdater::SPUUpdater(Configuration configuration) : configuration_(std::move(configuration)) {
    if (!configuration_.fetcher) configuration_.fetcher = SPUUpdateFeed::httpFetcher();
}

SPUUpdater::~SPUUpdater() {
    cancelScheduledCheck();
}

UserDefaults& SPUUpdater::defaults() const {
    return configuration_.defaults ? *configuration_.defaults : UserDefaults::standard();
}

Scheduler& SPUUpdater::scheduler() const {
    return configuration_.scheduler ? *configuration_.scheduler : Scheduler::system();
}

void SPUUpdater::startUpdater() {
    if (started_) return;
    started_ = true;
    canCheck_.set(true);
    scheduleNextCheck();
}

void SPUUpdater::checkForUpdates() {
    if (!canCheck_.get()) return;
    beginSession(true);
}

void SPUUpdater::checkForUpdatesInBackground() {
    if (!canCheck_.get() || !configuration_.feedURL) return;
    beginSession(false);
}

void SPUUpdater::beginSession(bool userInitiated) {
    sessionInProgress_ = true;
    canCheck_.set(false);
    cancelScheduledCheck();
    std::weak_ptr<SPUUpdater> weak = weak_from_this();
    if (!configuration_.feedURL) {
        // Ends on the next turn like any other check, so observers see the check start and end.
        mainQueue().async([weak, userInitiated] {
            if (auto self = weak.lock())
                self->finishSession(userInitiated, std::nullopt, std::string("no update feed is configured"));
        });
        return;
    }
    configuration_.fetcher(*configuration_.feedURL, [weak, userInitiated](std::optional<std::string> body,
                                                                          std::optional<std::string> error) {
        if (auto self = weak.lock()) self->finishSession(userInitiated, body, error);
    });
}

void SPUUpdater::finishSession(bool userInitiated, std::optional<std::string> body,
                               std::optional<std::string> error) {
    if (!sessionInProgress_) return;
    sessionInProgress_ = false;
    lastCheck_ = scheduler().clock().now();
    const std::string& app = configuration_.applicationName;
    std::string parseError;
    std::optional<SPUUpdateFeed> feed;
    if (!error && body) {
        feed = SPUUpdateFeed::parse(*body, &parseError);
        if (!feed) error = parseError;
    }
    if (error || !feed) {
        report(userInitiated, false, app + " cannot check for updates: " + error.value_or("no answer") + ".");
    } else if (SPUUpdateFeed::compareVersions(feed->version, configuration_.currentVersion) > 0) {
        std::string message = "A new version of " + app + " is available: " + feed->version + " (you have " +
                              configuration_.currentVersion + ").";
        if (feed->downloadURL) message += " Download it from " + *feed->downloadURL + ".";
        report(userInitiated, true, message);
    } else {
        report(userInitiated, false,
               "You're up to date: " + app + " " + configuration_.currentVersion + " is the newest version.");
    }
    canCheck_.set(true);
    scheduleNextCheck();
}

void SPUUpdater::report(bool userInitiated, bool important, const std::string& message) {
    lastMessage_ = message;
    // A scheduled check interrupts the user only for news.
    if (!userInitiated && !important) return;
    if (configuration_.showMessage)
        configuration_.showMessage(message);
    else
        consoleLine(message);
}

bool SPUUpdater::automaticallyChecksForUpdates() const {
    return defaults().boolean(kAutomaticallyChecksKey);
}

void SPUUpdater::setAutomaticallyChecksForUpdates(bool value) {
    defaults().set(kAutomaticallyChecksKey, Object(value));
    if (value)
        scheduleNextCheck();
    else
        cancelScheduledCheck();
}

bool SPUUpdater::automaticallyDownloadsUpdates() const {
    return defaults().boolean(kAutomaticallyDownloadsKey);
}

void SPUUpdater::setAutomaticallyDownloadsUpdates(bool value) {
    defaults().set(kAutomaticallyDownloadsKey, Object(value));
}

void SPUUpdater::scheduleNextCheck() {
    if (!started_ || sessionInProgress_ || scheduled_ || !configuration_.feedURL ||
        !automaticallyChecksForUpdates())
        return;
    std::weak_ptr<SPUUpdater> weak = weak_from_this();
    const TimePoint deadline = scheduler().clock().now() + configuration_.checkInterval;
    scheduled_ = scheduler().schedule(deadline, [weak] {
        mainQueue().async([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->scheduled_.reset();
            self->checkForUpdatesInBackground();
            self->scheduleNextCheck();
        });
    });
}

void SPUUpdater::cancelScheduledCheck() {
    if (scheduled_) scheduler().cancel(*scheduled_);
    scheduled_.reset();
}

} // namespace plat
