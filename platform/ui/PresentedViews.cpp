#include "platform/ui/PresentedViews.h"

#include "platform/ui/Controls.h"
#include "platform/ui/Views.h"

namespace plat::ui::detail {

namespace {

// The width of an alert panel.
constexpr double kAlertWidth = 260;

} // namespace

AnyView alertView(const Alert& alert, const std::function<void()>& dismiss) {
    std::vector<AlertButton> buttons = alert.buttons;
    if (buttons.empty()) buttons.push_back(AlertButton::normal("OK"));
    std::vector<AnyView> row;
    bool defaultTaken = false;
    for (const auto& b : buttons) {
        // The binding is reset first, so a button that presents the next alert is not undone.
        AnyView button = Button(b.label, b.role, [dismiss, action = b.action] {
            if (dismiss) dismiss();
            if (action) action();
        });
        if (b.role == ButtonRole::Cancel) {
            button = button.keyboardShortcut(KeyboardShortcut::cancelAction());
        } else if (!defaultTaken) {
            button = button.keyboardShortcut(KeyboardShortcut::defaultAction());
            defaultTaken = true;
        }
        row.push_back(button);
    }
    std::vector<AnyView> content{Text(alert.title).font(Font::headline())};
    if (!alert.message.empty()) content.push_back(Text(alert.message));
    content.push_back(HStack(row));
    return VStack(HAlign::Center, 12, std::move(content)).padding(20).frame(kAlertWidth);
}

// The content keeps its place (and state) whether or not there is a heading.
std::function<AnyView()> sheetBody(Node* root, std::function<AnyView()> content) {
    return [root, content = std::move(content)] {
        AnyView body = content ? content() : AnyView();
        const std::optional<TextValue> title = root->sheetTitle;
        AnyView heading = If(title.has_value(), [&] {
            return Text(*title)
                .font(Font::headline())
                .padding(EdgeInsets{14, 16, 2, 16})
                .testId("sheetTitle");
        });
        return VStack(HAlign::Center, 0, {heading, body});
    };
}

} // namespace plat::ui::detail
