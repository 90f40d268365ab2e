// The settings sheet of the main window, open while the controller's `showSettings` is true. Its
// switches write straight through to the stored settings: the compact window ("CompactView", which
// also resizes the main window two main-queue turns after the change), the kill switch and the
// local-network exclusion (read by the service core the next time it builds the tunnel profile),
// and launch at login (the login-item registration). The language picker stores "SelectedLanguage",
// writes the choice through to "AppleLanguages" and asks for a restart; "Remove profile" removes
// the tunnel profile from the system and reports the outcome in an alert.
//
// Main thread only; the profile removal's completion hops to the main queue before it touches the
// screen.
#pragma once

#include "app/ContentViewModel.h"
#include "app/classes/VPNProtocol.h"
#include "app/controllers/VelmoraController.h"
#include "platform/ui/Toolkit.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

class SettingsView : public plat::ui::Screen {
public:
    // What the screen's alert shows. There is one kind: a message with a title, both shown verbatim.
    class ActiveAlert {
    public:
        // The only kind of alert there is: a titled message.
        static ActiveAlert message(std::string title, std::string message) {
            return ActiveAlert(std::move(title), std::move(message));
        }
        const std::string& title() const { return title_; }
        const std::string& message() const { return message_; }
        // The identity: the title immediately followed by the message.
        std::string id() const { return title_ + message_; }
        bool operator==(const ActiveAlert&) const = default;

    private:
        ActiveAlert(std::string title, std::string message)
            : title_(std::move(title)), message_(std::move(message)) {}
        std::string title_;
        std::string message_;
    };

    // `ctrl` is the main window's controller (its `showSettings` is toggled by the close button);
    // `selectedProtocol` is the default of the stored "VPNProtocol", which this screen only keeps.
    // The session model comes from the environment.
    SettingsView(std::shared_ptr<VelmoraController> ctrl, VPNProtocol selectedProtocol);
    plat::ui::AnyView body() const override;

    // The languages the picker offers, code to display name, in ascending order of the code.
    static const std::map<std::string, std::string>& supportedLanguages();
    // The system's current language code ("de" for de_DE.UTF-8): the first entry of $LANGUAGE, else
    // $LC_ALL, $LC_MESSAGES or $LANG, whichever is set first. None for the C locale or nothing set.
    static std::optional<std::string> systemLanguageCode();
    // The main window's width for the compact setting; the height is always 600.
    static double windowWidth(bool compact) { return compact ? 300 : 800; }

    plat::ui::EnvironmentObject<ContentViewModel> vm;
    plat::ui::ObservedObject<VelmoraController> ctrl;
    plat::ui::AppStorage<std::string> selectedProtocol;
    plat::ui::AppStorage<std::string> selectedLanguage;
    plat::ui::State<bool> compactView;
    plat::ui::State<std::optional<ActiveAlert>> activeAlert;

private:
    plat::ui::AnyView settingsList() const;
    plat::ui::AnyView languagePicker() const;
    // Writes `code` through to "AppleLanguages" and shows the restart alert.
    void setAppLanguage(const std::string& code) const;
    // Resizes the main window for `compact` one main-queue turn from now; nothing without one.
    static void updateWindowSize(bool compact);
    void removeProfile() const;
};
