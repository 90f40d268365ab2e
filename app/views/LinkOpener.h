// Opens the links of the screens (the password reset page, the checkout pages, the support mail)
// and tells the user about one the desktop could not open: the screen keeps the address in its
// state while an alert shows it, so the user can open it by hand. Main thread only.
#pragma once

#include "platform/ui/Toolkit.h"

#include <optional>
#include <string>

class LinkOpener {
public:
    // The address a screen could not open, while its alert shows.
    using Unopened = plat::ui::State<std::optional<std::string>>;

    // Opens `address` through the shared workspace; text that is not a URL is left alone. When the
    // desktop cannot open it, `unopened` takes the address (on the main queue).
    static void open(const std::string& address, Unopened unopened);
    // Opens `address` through the environment's URL action `action`, with the same report.
    static void open(const plat::ui::OpenURLAction& action, const std::string& address, Unopened unopened);
    // `view` with the alert for the address in `unopened`; its OK button clears it.
    static plat::ui::AnyView alert(plat::ui::AnyView view, Unopened unopened);
};
