// Turns the views of a command group into menu items: the content lives in a headless view host,
// and each of its buttons becomes an item with the button's title and shortcut, whose enabled flag
// follows the button at every validation and whose choice clicks it. Main thread only.
#pragma once

#include "platform/appkit/MenuItem.h"
#include "platform/ui/Host.h"

#include <memory>
#include <vector>

namespace plat::scene {

class CommandMenuHost : public std::enable_shared_from_this<CommandMenuHost> {
public:
    static std::shared_ptr<CommandMenuHost> make(ui::AnyView content);

    // The items for the content's buttons, in tree order. Items hold the host weakly: once it is
    // gone they are disabled and do nothing.
    std::vector<std::shared_ptr<MenuItem>> items();
    ui::Host& host() { return *host_; }

private:
    explicit CommandMenuHost(ui::AnyView content);
    // The content's index-th button as of the latest pass; none when there is no such button.
    ui::NodeRef button(size_t index);

    std::unique_ptr<ui::Host> host_;
};

} // namespace plat::scene
