#include "platform/appkit/MainMenu.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"

#include <map>
#include <utility>

namespace plat {

namespace {

using Items = std::vector<std::shared_ptr<MenuItem>>;
using P = CommandGroupPlacement;

std::shared_ptr<MenuItem> standard(P placement, std::string title, MenuItem::Action action,
                                   std::string key = {}, std::function<bool()> validator = {}) {
    auto item = MenuItem::make(std::move(title), std::move(action), std::move(key));
    item->setPlacement(placement);
    if (validator) item->setValidator(std::move(validator));
    return item;
}

MenuItem::Action send(const char* action) {
    return [action] { Application::shared().sendAction(action); };
}

bool hasKeyWindow() {
    return static_cast<bool>(Application::shared().keyWindow());
}

// The standard groups of each menu, in menu order; an empty placement stands for a separator.
struct Section {
    std::optional<P> placement;
    Items items;
};

std::vector<Section> appMenu(const std::string& appName) {
    auto& app = Application::shared();
    return {
        {P::appInfo,
         {standard(P::appInfo, "About " + appName, [&app] { app.orderFrontStandardAboutPanel(); })}},
        {std::nullopt, {}},
        {P::appSettings,
         {standard(
             P::appSettings, "Settings…", [&app] { app.showSettingsWindow(); }, ",",
             [&app] { return app.hasSettings(); })}},
        {std::nullopt, {}},
        {P::systemServices, {}},
        {P::appVisibility,
         {standard(
              P::appVisibility, "Hide " + appName, [&app] { app.hide(); }, "h"),
          standard(
              P::appVisibility, "Show All", [&app] { app.unhide(); }, {},
              [&app] { return app.isHidden(); })}},
        {std::nullopt, {}},
        {P::appTermination,
         {standard(
             P::appTermination, "Quit " + appName, [&app] { app.terminate(); }, "q")}},
    };
}

std::vector<Section> fileMenu(const MainMenu::Actions& actions) {
    auto newWindow = actions.newWindow;
    return {
        {P::newItem,
         {standard(P::newItem, "New Window", newWindow, "n",
                   [has = static_cast<bool>(newWindow)] { return has; })}},
        {std::nullopt, {}},
        {P::saveItem,
         {standard(
             P::saveItem, "Close",
             [] {
                 if (auto window = Application::shared().keyWindow()) window->performClose();
             },
             "w", hasKeyWindow)}},
        {P::importExport, {}},
        {P::printItem, {}},
    };
}

std::vector<Section> editMenu() {
    return {
        {P::undoRedo,
         {standard(P::undoRedo, "Undo", send("undo:"), "z", hasKeyWindow),
          standard(P::undoRedo, "Redo", send("redo:"), "Z", hasKeyWindow)}},
        {std::nullopt, {}},
        {P::pasteboard,
         {standard(P::pasteboard, "Cut", send("cut:"), "x", hasKeyWindow),
          standard(P::pasteboard, "Copy", send("copy:"), "c", hasKeyWindow),
          standard(P::pasteboard, "Paste", send("paste:"), "v", hasKeyWindow),
          standard(P::pasteboard, "Delete", send("delete:"), {}, hasKeyWindow),
          standard(P::pasteboard, "Select All", send("selectAll:"), "a", hasKeyWindow)}},
        {P::textEditing, {}},
        {P::textFormatting, {}},
    };
}

std::vector<Section> viewMenu() {
    return {{P::toolbar, {}}, {P::sidebar, {}}};
}

std::vector<Section> windowMenu() {
    auto zoomable = [] {
        auto window = Application::shared().keyWindow();
        auto* zoom = window ? window->standardWindowButton(WindowButtonType::zoomButton) : nullptr;
        return zoom && zoom->isEnabled();
    };
    return {
        {P::windowSize,
         {standard(
              P::windowSize, "Minimize",
              [] {
                  if (auto window = Application::shared().keyWindow()) window->miniaturize();
              },
              "m", hasKeyWindow),
          standard(
              P::windowSize, "Zoom",
              [] {
                  if (auto window = Application::shared().keyWindow()) window->zoom();
              },
              {}, zoomable)}},
        {std::nullopt, {}},
        {P::windowArrangement,
         {standard(P::windowArrangement, "Bring All to Front", [] { Application::shared().unhide(); })}},
    };
}

std::vector<Section> helpMenu(const std::string& appName) {
    // No help book ships with the application, so the item is there but never enabled.
    return {{P::help, {standard(P::help, appName + " Help", {}, "?", [] { return false; })}}};
}

// Lays one menu out from its sections, with the application's groups applied.
std::shared_ptr<Menu> build(std::string title, std::vector<Section> sections,
                            const std::vector<CommandGroup>& groups) {
    auto menu = std::make_shared<Menu>(std::move(title));
    for (auto& section : sections) {
        if (!section.placement) {
            menu->addItem(MenuItem::separator());
            continue;
        }
        Items before, after;
        Items* current = &section.items;
        Items replacement;
        bool replaced = false;
        for (const auto& group : groups) {
            if (group.placement != *section.placement) continue;
            switch (group.position) {
            case CommandGroup::Position::before:
                before.insert(before.end(), group.items.begin(), group.items.end());
                break;
            case CommandGroup::Position::after:
                after.insert(after.end(), group.items.begin(), group.items.end());
                break;
            case CommandGroup::Position::replacing:
                if (!replaced) replacement.clear();
                replaced = true;
                replacement.insert(replacement.end(), group.items.begin(), group.items.end());
                break;
            }
        }
        if (replaced) current = &replacement;
        for (const auto* list : {&before, current, &after}) {
            for (const auto& item : *list)
                menu->addItem(item);
        }
    }
    // Separators only between items: none first, last or twice in a row.
    Items tidy;
    for (const auto& item : menu->items()) {
        if (item->isSeparator() && (tidy.empty() || tidy.back()->isSeparator())) continue;
        tidy.push_back(item);
    }
    while (!tidy.empty() && tidy.back()->isSeparator())
        tidy.pop_back();
    menu->removeAllItems();
    for (auto& item : tidy)
        menu->addItem(std::move(item));
    return menu;
}

} // namespace

std::shared_ptr<Menu> MainMenu::make(const std::string& appName, const std::vector<CommandGroup>& groups,
                                     const Actions& actions) {
    auto bar = std::make_shared<Menu>("Main Menu");
    std::pair<std::string, std::vector<Section>> menus[] = {
        {appName, appMenu(appName)}, {"File", fileMenu(actions)}, {"Edit", editMenu()},
        {"View", viewMenu()},        {"Window", windowMenu()},    {"Help", helpMenu(appName)},
    };
    for (auto& [title, sections] : menus) {
        auto menu = build(title, std::move(sections), groups);
        // An empty menu is left out of the bar, as a View menu with no toolbar or sidebar is.
        if (menu->numberOfItems() > 0) bar->addItem(MenuItem::withSubmenu(std::move(menu)));
    }
    bar->update();
    return bar;
}

} // namespace plat
