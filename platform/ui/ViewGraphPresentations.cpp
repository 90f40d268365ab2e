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

// A sheet has no title bar of its own: the navigation title its content carries is shown as a
// heading above the content. The content keeps its place (and state) whether or not there is one.
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

// The first navigation title in the subtree, the sheet's own heading left out.
std::optional<TextValue> navigationTitleIn(const Node& node) {
    if (node.data && node.data->attrs.navigationTitle) return node.data->attrs.navigationTitle;
    for (const auto& child : node.children) {
        if (child->data && child->data->attrs.testId == "sheetTitle") continue;
        if (auto title = navigationTitleIn(*child)) return title;
    }
    return std::nullopt;
}

} // namespace

void ViewGraph::syncSheetTitles() {
    for (const auto& layer : layers_) {
        if (!layer->alive || layer->data->kind != ViewKind::Sheet) continue;
        std::optional<TextValue> title;
        for (const auto& child : layer->children)
            if (!title) title = navigationTitleIn(*child);
        if (title == layer->sheetTitle) continue;
        layer->sheetTitle = std::move(title);
        markDirty(*layer);
    }
}

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
            slot.root->rootBody = sheetBody(slot.root.get(), desc.sheetContent);
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
        root->rootBody = sheetBody(root.get(), desc.sheetContent);
    }
    root->link = std::make_shared<NodeLink>([this, raw = root.get()] { markDirty(*raw); });
    layers_.push_back(root);
    build(*root, makeViewData(isAlert ? ViewKind::Alert : ViewKind::Sheet), presenter.env, true);
    return root;
}

} // namespace plat::ui::detail
