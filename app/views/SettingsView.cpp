#include "app/views/SettingsView.h"

#include "app/classes/Preferences.h"
#include "app/classes/VPNHelper.h"
#include "app/views/SheetCloseButton.h"
#include "app/views/ViewLifetime.h"
#include "launch_at_login/LoginItemToggle.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"

#include <cctype>
#include <cstdlib>

using namespace plat::ui;
using launch_at_login::LoginItem;

namespace {

// Help texts are set small, under the control they explain, with no colour of their own.
AnyView helpText(TextValue key) {
    return Text(std::move(key)).font(Font::footnote()).padding(Edge::Leading, 10);
}

// The login-item switch in the default toggle style. Its state is the system's registration, read
// afresh whenever it is drawn.
AnyView loginItemToggle(const LoginItem::Toggle& toggle) {
    const auto& label = toggle.label();
    plat::Binding<bool> isOn([toggle] { return toggle.isOn(); },
                             [toggle](const bool& on) { toggle.setIsOn(on); });
    return Toggle(label.localized ? TextValue(label.text) : TextValue::verbatim(label.text), std::move(isOn));
}

// The language part of a locale name or tag, lower-cased: "pt_BR.UTF-8" and "pt-BR" give "pt".
std::optional<std::string> languagePart(const std::string& name) {
    std::string code = name.substr(0, name.find_first_of("-_.@"));
    if (code.empty() || code == "C" || code == "POSIX") return std::nullopt;
    for (char& c : code) {
        if (!std::isalpha(static_cast<unsigned char>(c))) return std::nullopt;
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return code;
}

} // namespace

SettingsView::SettingsView(std::shared_ptr<VelmoraController> ctrl, VPNProtocol selectedProtocol)
    : ctrl(std::move(ctrl)), selectedProtocol("VPNProtocol", rawValue(selectedProtocol)),
      selectedLanguage("SelectedLanguage", systemLanguageCode().value_or("en")),
      compactView(Preferences::compactView()), activeAlert(std::nullopt) {}

const std::map<std::string, std::string>& SettingsView::supportedLanguages() {
    static const auto& languages =
        *new std::map<std::string, std::string>{{"en", "English"}, {"es", "Español"}};
    return languages;
}

std::optional<std::string> SettingsView::systemLanguageCode() {
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        const std::string all = list;
        if (auto code = languagePart(all.substr(0, all.find(':')))) return code;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) return languagePart(value);
    }
    return std::nullopt;
}

void SettingsView::setAppLanguage(const std::string& code) const {
    auto& defaults = plat::UserDefaults::standard();
    defaults.set("AppleLanguages", plat::Object(plat::Object::Array{plat::Object(code)}));
    defaults.synchronize();
    // The strings tables are chosen once per launch, so the new language needs a restart.
    activeAlert.set(
        ActiveAlert::message("Restart Required", "The app needs to restart to apply the language changes."));
}

void SettingsView::updateWindowSize(bool compact) {
    plat::mainQueue().async([compact] { setMainWindowFrameSize(windowWidth(compact), 600); });
}

void SettingsView::removeProfile() const {
    // The completion comes on the tunnel manager's queue; the state is only touched on the main one.
    VPNHelper::shared().removeVPNProfile([alert = activeAlert](std::optional<plat::Error> error) {
        plat::mainQueue().async([alert, error] {
            if (error)
                alert.set(ActiveAlert::message("Error", "Error removing VPN profile: " +
                                                            error->localizedDescription()));
            else
                alert.set(ActiveAlert::message(
                    "Profile Removed", "The VPN profile has been successfully removed from your device."));
        });
    });
}

AnyView SettingsView::languagePicker() const {
    std::vector<AnyView> entries;
    for (const auto& [code, name] : supportedLanguages())
        entries.push_back(VerbatimText(name.empty() ? code : name).tag(code));
    // Choosing the entry already selected is no change: nothing is written and no alert shows.
    plat::Binding<std::string> selection([setting = selectedLanguage] { return setting.get(); },
                                         [this](const std::string& code) {
                                             if (code == selectedLanguage.get()) return;
                                             selectedLanguage.set(code);
                                             setAppLanguage(code);
                                         });
    return Picker("Language", std::move(selection), std::move(entries))
        .pickerStyle(PickerStyle::Menu)
        .testId("languagePicker")
        .padding(Edge::Top, 10);
}

AnyView SettingsView::settingsList() const {
    AnyView removeButton =
        Button([this] { removeProfile(); },
               Text("Remove profile").foregroundColor(Color::white()).padding(EdgeInsets{5, 15, 5, 15}))
            .buttonStyle(ButtonStyle::Plain)
            .background(Color::blue())
            .clipShape(Shape::roundedRectangle(5, true))
            .padding(Edge::Top, 10);
    return VStack(
               HAlign::Leading, 10,
               {
                   Toggle("Compact View", compactView.binding()).toggleStyle(ToggleStyle::Switch),
                   helpText(
                       "When 'Compact View' is enabled, the main screen is simplified for a clutter-free "
                       "experience. The map, subscription status, and other additional details are hidden, "
                       "providing a straightforward interface focused on essential VPN controls. Disable "
                       "this option to access a detailed view with all the features."),
                   Divider(),
                   Toggle("Kill switch", Preferences::killSwitchBinding()).toggleStyle(ToggleStyle::Switch),
                   helpText(
                       "'Kill switch' is a helpful feature that ensures your online activities are always "
                       "secured through the VPN. Once enabled, it automatically reconnects your device to "
                       "the VPN whenever your connection drops or is interrupted. This helps maintain a "
                       "continuous secure connection, protecting your data from being exposed even "
                       "momentarily."),
                   Divider(),
                   Toggle("Exclude local network", Preferences::excludeLocalNetworksBinding())
                       .toggleStyle(ToggleStyle::Switch),
                   helpText(
                       "Allow access to devices on the local network (such as printers, file servers, or "
                       "media servers)"),
                   Divider(),
                   loginItemToggle(LoginItem::Toggle::localized("Launch Velmora on startup")),
                   Divider(),
                   languagePicker(),
                   helpText("Select the language for the app UI."),
                   Divider(),
                   removeButton,
                   helpText("Removes VPN profile from your device"),
                   Divider(),
               })
        .padding();
}

AnyView SettingsView::body() const {
    auto controller = ctrl.get();
    AnyView header = HStack({Spacer(), SheetCloseButton([controller] {
                                 controller->showSettings = !controller->showSettings.get();
                             })})
                         .padding(Edge::Top, 10)
                         .padding(Edge::Horizontal, 10);
    return VStack(HAlign::Center, 0,
                  {
                      header,
                      Text("Settings").font(Font::largeTitle()).padding(Edge::Bottom, 10),
                      ScrollView(settingsList(), Axis::Vertical, true),
                  })
        .frame(FrameSpec{.minWidth = 600, .minHeight = 400})
        .alert(activeAlert.binding(),
               [](const ActiveAlert& alert) {
                   return Alert{TextValue::verbatim(alert.title()),
                                TextValue::verbatim(alert.message()),
                                {AlertButton::normal("OK")}};
               })
        .onChange(compactView.get(),
                  [](const bool& compact) {
                      Preferences::setCompactView(compact);
                      plat::mainQueue().async([compact] { updateWindowSize(compact); });
                  })
        .testId("SettingsView");
}
