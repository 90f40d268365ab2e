// The part of the update pass that presents and dismisses sheets and alerts from their bindings.
#include "platform/ui/Controls.h"
#include "platform/ui/ViewGraph.h"
#include "platform/ui/Views.h"

namespace plat::ui::detail {

namespace {

// The width of an alert panel.
constexpr double kAlertWidth = 260;

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

} // namespace

void ViewGraph::syncPresentations() {
    std::vector<std::shared_ptr<Node>> presenters;
    forEachNode([&](const std::shared_ptr<Node>& n) {
        if (n->alive && !n->data->attrs.presentations.empty()) presenters.push_back(n);
    });
    for (const auto& p : presenters) {
        for (std::size_t i = 0; i < p->data->attrs.presentations.size(); ++i) {
            if (p->alive) syncPresentation(*p, i);
        }
    }
}

void ViewGraph::syncPresentation(Node& presenter, std::size_t index) {
    const PresentationSpec desc = presenter.data->attrs.presentations[index];
    if (index >= presenter.presented.size()) presenter.presented.resize(index + 1);
    bool want = desc.isPresented && desc.isPresented();
    std::optional<Alert> alert;
    if (want && desc.kind == PresentationSpec::Kind::Alert) {
        alert = desc.alertContent ? desc.alertContent() : std::optional<Alert>(Alert{});
        want = alert.has_value();
    }
    auto& slot = presenter.presented[index];
    auto takeDown = [&] {
        std::erase(layers_, slot.root);
        retire(slot.root);
        slot.root.reset();
        slot.alert.reset();
    };
    if (!want) {
        if (!slot.root) return;
        takeDown();
        if (desc.onDismiss) desc.onDismiss();
        return;
    }
    // Another alert for a new item replaces the one shown.
    if (slot.root && alert && slot.alert &&
        (slot.alert->title != alert->title || slot.alert->message != alert->message)) {
        takeDown();
    }
    if (!slot.root) {
        slot.alert = alert;
        slot.root = presentRoot(presenter, index);
        return;
    }
    // Still shown: when the presenter was rebuilt, its content closures are the new ones (the old
    // ones may point into a screen instance that goes at the end of this pass).
    if (presenter.builtInRound == round_) {
        if (alert) {
            slot.alert = alert;
            slot.root->rootBody = [alert = *alert, dismiss = desc.dismiss] {
                return alertView(alert, dismiss);
            };
        } else {
            slot.root->rootBody = desc.sheetContent ? desc.sheetContent : [] { return AnyView(); };
        }
        markDirty(*slot.root);
    }
}

std::shared_ptr<Node> ViewGraph::presentRoot(Node& presenter, std::size_t index) {
    const PresentationSpec& desc = presenter.data->attrs.presentations[index];
    const bool isAlert = desc.kind == PresentationSpec::Kind::Alert;
    auto root = makeNode(nullptr, isAlert ? "alert" : "sheet");
    root->presenter = &presenter;
    root->presentationIndex = index;
    if (isAlert) {
        root->rootBody = [alert = *presenter.presented[index].alert, dismiss = desc.dismiss] {
            return alertView(alert, dismiss);
        };
    } else {
        root->rootBody = desc.sheetContent ? desc.sheetContent : [] { return AnyView(); };
    }
    root->link = std::make_shared<NodeLink>([this, raw = root.get()] { markDirty(*raw); });
    layers_.push_back(root);
    build(*root, makeViewData(isAlert ? ViewKind::Alert : ViewKind::Sheet), presenter.env, true);
    return root;
}

} // namespace plat::ui::detail
