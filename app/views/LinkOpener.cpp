#include "app/views/LinkOpener.h"

#include "platform/appkit/Workspace.h"
#include "platform/foundation/URL.h"

using namespace plat::ui;

namespace {

std::function<void(bool)> reporting(const std::string& address, LinkOpener::Unopened unopened) {
    return [address, unopened](bool opened) {
        if (!opened) unopened.set(address);
    };
}

} // namespace

void LinkOpener::open(const std::string& address, Unopened unopened) {
    auto url = plat::URL::string(address);
    if (!url) return;
    plat::Workspace::shared().open(*url, reporting(address, std::move(unopened)));
}

void LinkOpener::open(const OpenURLAction& action, const std::string& address, Unopened unopened) {
    action(address, reporting(address, std::move(unopened)));
}

AnyView LinkOpener::alert(AnyView view, Unopened unopened) {
    return view.alert(unopened.binding(), [](const std::string& address) {
        return Alert{
            "Cannot Open Link",
            TextValue("Nothing on this computer could open %@. Open it in your browser or mail program.",
                      {address}),
            {AlertButton::normal("OK")}};
    });
}
