// The account menu at the trailing end of the main window's top bar. Its label shows who is signed
// in ("UNDEFINED" when the keychain holds no e-mail); its items switch the flags that present the
// settings, pricing and device sheets, write a prefilled support e-mail, and log out. The menu keeps
// no state: it changes the controller's flags, the keychain through the controller, and the root
// state. Main thread only.
#pragma once

#include "app/ContentViewModel.h"
#include "app/controllers/VelmoraController.h"
#include "app/views/LinkOpener.h"
#include "platform/ui/Toolkit.h"

#include <memory>
#include <string>

class AccountMenu : public plat::ui::Screen {
public:
    explicit AccountMenu(std::shared_ptr<VelmoraController> ctrl);
    plat::ui::AnyView body() const override;

    // The label's title: the stored "email" as it is, else "UNDEFINED".
    static std::string accountTitle();
    // Opens the support mail link with the workspace; a link that cannot be made is dropped. When
    // the desktop cannot open it, `unopened` takes the address for the menu's alert; without it
    // the refusal goes unreported.
    static void openSupportMail();
    static void openSupportMail(LinkOpener::Unopened unopened);
    // Posts "logout" (the controller removes the credentials and stops the tunnel before the post
    // returns), then sets the root state to `needLogin` when there is a root model.
    static void logOut(const std::shared_ptr<ContentViewModel>& vm);

    plat::ui::ObservedObject<VelmoraController> ctrl;
    plat::ui::EnvironmentObject<ContentViewModel> vm;
    LinkOpener::Unopened unopenedLink{std::nullopt};
};
