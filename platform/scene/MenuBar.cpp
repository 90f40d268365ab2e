#include "platform/scene/MenuBar.h"

#include "platform/appkit/MenuItem.h"
#include "platform/foundation/Localization.h"

#include <algorithm>

namespace plat::scene {

namespace {

// A key equivalent as the toolkit's shortcut: an upper-case letter adds Shift ("Z" is Shift+Ctrl+Z).
ui::KeyboardShortcut shortcutFor(const std::string& key) {
    if (key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z')
        return ui::KeyboardShortcut::key(std::string(1, static_cast<char>(key[0] - 'A' + 'a')),
                                         ui::KeyModifiers::Command | ui::KeyModifiers::Shift);
    return ui::KeyboardShortcut::key(key);
}

ui::AnyView itemView(const MenuBarModel::Entry& entry) {
    if (entry.separator) return ui::Divider();
    ui::AnyView button = ui::Button(ui::TextValue(entry.title), [item = entry.item] {
                             if (auto live = item.lock()) live->perform();
                         }).disabled(!entry.enabled);
    if (!entry.key.empty()) button = button.keyboardShortcut(shortcutFor(entry.key));
    return button;
}

class MenuBarScreen : public ui::Screen {
public:
    explicit MenuBarScreen(std::shared_ptr<MenuBarModel> model) : model(std::move(model)) {}

    ui::AnyView body() const override {
        std::vector<ui::AnyView> menus;
        const auto columns = model->columns.get();
        for (const auto& column : columns) {
            std::vector<ui::AnyView> items;
            for (const auto& entry : column.entries)
                items.push_back(itemView(entry));
            // The application's own menu comes first, its name in bold. The titles sit close enough
            // that the whole bar fits the compact main window (300 points) in every language it has.
            ui::AnyView title = ui::Text(ui::TextValue(column.title)).padding(ui::Edge::Horizontal, 6);
            if (&column == &columns.front()) title = title.bold();
            menus.push_back(ui::Menu(title, std::move(items))
                                .menuStyle(ui::MenuStyle::BorderlessButton)
                                .buttonStyle(ui::ButtonStyle::Borderless)
                                .id(column.title)
                                .testId("menuBar." + column.title));
        }
        menus.push_back(ui::Spacer(0));
        return ui::HStack(ui::VAlign::Center, 0, std::move(menus))
            .padding(ui::Edge::Horizontal, 4)
            .frame(ui::FrameSpec{.maxWidth = ui::infinity,
                                 .minHeight = MenuBarModel::kHeight,
                                 .maxHeight = MenuBarModel::kHeight})
            .background(ui::Color::rgba(0.925, 0.925, 0.933))
            .menuIndicator(false)
            .menuBar()
            // The bar stands beside the window's root, outside its environment: menu and item titles
            // are looked up in the application's strings tables here, as the root's texts are there.
            .environment([](ui::EnvironmentValues& env) { env.localize = LocalizedString; })
            .testId("menuBar");
    }

    ui::ObservedObject<MenuBarModel> model;
};

} // namespace

void MenuBarModel::setMenu(std::shared_ptr<Menu> menu) {
    menu_ = std::move(menu);
    columns = snapshot();
}

void MenuBarModel::refresh() {
    auto now = snapshot();
    if (now != columns.get()) columns = std::move(now);
}

std::vector<MenuBarModel::Column> MenuBarModel::snapshot() const {
    std::vector<Column> out;
    if (!menu_) return out;
    for (const auto& top : menu_->items()) {
        const auto& submenu = top->submenu();
        if (!submenu) continue;
        Column column{submenu->title(), {}};
        for (const auto& item : submenu->items()) {
            if (item->isSeparator()) {
                column.entries.push_back(Entry{{}, {}, false, true, item, item.get()});
                continue;
            }
            item->validate();
            column.entries.push_back(Entry{item->title(), item->keyEquivalent(),
                                           item->isEnabled() && item->hasAction(), false, item, item.get()});
        }
        out.push_back(std::move(column));
    }
    return out;
}

ui::AnyView MenuBar(std::shared_ptr<MenuBarModel> model) {
    return ui::make<MenuBarScreen>(std::move(model));
}

bool moveBetweenMenus(ui::Host& host, const ui::KeyEvent& event) {
    if ((event.key != ui::Key::Left && event.key != ui::Key::Right) ||
        event.modifiers != ui::KeyModifiers::None)
        return false;
    const ui::NodeRef open = host.openMenu();
    const ui::NodeRef bar = open ? host.find(ui::Query::testId("menuBar")) : ui::NodeRef();
    if (!bar) return false;
    const auto menus = bar.findAll(ui::Query::kind(ui::ViewKind::Menu));
    const auto at = std::find(menus.begin(), menus.end(), open);
    if (at == menus.end()) return false;
    const size_t count = menus.size();
    const size_t index = static_cast<size_t>(at - menus.begin());
    const ui::NodeRef next = menus[(index + (event.key == ui::Key::Right ? 1 : count - 1)) % count];
    // Where the keys stood in the menu that closes, they go on in the one that opens.
    bool reached = false;
    if (const auto popup = host.menuPopup())
        for (const auto& row : popup->rows)
            reached = reached || row.reached;
    if (!host.click(next)) return true;
    if (reached) host.pressKey(ui::Key::Down);
    return true;
}

} // namespace plat::scene
