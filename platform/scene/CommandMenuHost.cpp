#include "platform/scene/CommandMenuHost.h"

namespace plat::scene {

std::shared_ptr<CommandMenuHost> CommandMenuHost::make(ui::AnyView content) {
    return std::shared_ptr<CommandMenuHost>(new CommandMenuHost(std::move(content)));
}

CommandMenuHost::CommandMenuHost(ui::AnyView content)
    : host_(std::make_unique<ui::Host>(std::move(content), ui::HostOptions{Size{320, 40}, nullptr})) {}

ui::NodeRef CommandMenuHost::button(size_t index) {
    host_->update();
    auto buttons = host_->findAll(ui::Query::kind(ui::ViewKind::Button));
    return index < buttons.size() ? buttons[index] : ui::NodeRef();
}

std::vector<std::shared_ptr<MenuItem>> CommandMenuHost::items() {
    host_->update();
    std::vector<std::shared_ptr<MenuItem>> items;
    const auto buttons = host_->findAll(ui::Query::kind(ui::ViewKind::Button));
    std::weak_ptr<CommandMenuHost> weak = weak_from_this();
    for (size_t i = 0; i < buttons.size(); ++i) {
        std::string key;
        if (auto shortcut = buttons[i].keyboardShortcut();
            shortcut && shortcut->event.key == ui::Key::Character &&
            shortcut->event.modifiers == ui::KeyModifiers::Command) {
            key = shortcut->event.character;
        }
        auto item = MenuItem::make(
            buttons[i].text(),
            [weak, i] {
                if (auto self = weak.lock()) {
                    if (auto node = self->button(i)) self->host_->click(node);
                }
            },
            key);
        item->setValidator([weak, i] {
            auto self = weak.lock();
            if (!self) return false;
            auto node = self->button(i);
            return node && node.isEnabled();
        });
        item->validate();
        items.push_back(std::move(item));
    }
    return items;
}

} // namespace plat::scene
