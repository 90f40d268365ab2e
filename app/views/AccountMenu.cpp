#include "app/views/AccountMenu.h"

#include "app/classes/Preferences.h"
#include "app/views/SupportMail.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URL.h"

using namespace plat::ui;

namespace {

AnyView item(TextValue title, std::string symbol, std::function<void()> action) {
    return Button(std::move(action), Label(std::move(title), std::move(symbol)));
}

// Inverts the flag rather than setting it: closing a sheet sets it back to false.
std::function<void()> toggling(std::shared_ptr<VelmoraController> controller,
                               plat::Published<bool> VelmoraController::*flag) {
    return [controller = std::move(controller), flag] {
        auto& published = (*controller).*flag;
        published = !published.get();
    };
}

} // namespace

AccountMenu::AccountMenu(std::shared_ptr<VelmoraController> ctrl) : ctrl(std::move(ctrl)) {}

std::string AccountMenu::accountTitle() {
    return Preferences::email().value_or("UNDEFINED");
}

namespace {
std::string supportMailLink() {
    return SupportMail::link(SupportMail::address(plat::Bundle::main()), SupportMail::currentFacts());
}
} // namespace

void AccountMenu::openSupportMail() {
    const auto url = plat::URL::string(supportMailLink());
    if (!url) return;
    (void)plat::Workspace::shared().open(*url);
}

void AccountMenu::openSupportMail(LinkOpener::Unopened unopened) {
    LinkOpener::open(supportMailLink(), std::move(unopened));
}

void AccountMenu::logOut(const std::shared_ptr<ContentViewModel>& vm) {
    plat::NotificationCenter::defaultCenter().post("logout");
    if (vm) vm->state = ContentViewModel::ProgramState::needLogin;
}

AnyView AccountMenu::body() const {
    auto controller = ctrl.get();
    std::weak_ptr<ContentViewModel> model = vm.get();
    AnyView label = Label(TextValue::verbatim(accountTitle()), "person.crop.circle.fill")
                        .font(Font::system(20))
                        .foregroundColor(Color::blue());
    AnyView menu =
        Menu(label,
             {
                 item("Settings", "gearshape", toggling(controller, &VelmoraController::showSettings)),
                 item("Pricing", "cart", toggling(controller, &VelmoraController::showPricing)),
                 item("Manage Devices", "server.rack",
                      toggling(controller, &VelmoraController::showManageDevices)),
                 item("Customer support", "envelope",
                      [unopened = unopenedLink] { openSupportMail(unopened); }),
                 item("Log out", "rectangle.portrait.and.arrow.right", [model] { logOut(model.lock()); }),
             })
            .buttonStyle(ButtonStyle::Borderless)
            .padding(Edge::Trailing, 20)
            .testId("AccountMenu");
    return LinkOpener::alert(menu, unopenedLink);
}
