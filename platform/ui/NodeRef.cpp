#include "platform/ui/NodeRef.h"

#include "platform/ui/FieldEditor.h"
#include "platform/ui/Input.h"
#include "platform/ui/Node.h"
#include "platform/ui/NodeTree.h"
#include "platform/ui/Query.h"
#include "platform/ui/TypeName.h"
#include "platform/ui/ViewGraph.h"

#include <functional>

namespace plat::ui {

using detail::Node;

namespace {
const EnvironmentValues& defaultEnvironment() {
    static const auto* env = new EnvironmentValues();
    return *env;
}

std::string quoted(const std::string& s) {
    return "\"" + s + "\"";
}
} // namespace

bool NodeRef::isAlive() const {
    return node_ && node_->alive;
}

ViewKind NodeRef::kind() const {
    return node_ ? node_->data->kind : ViewKind::Empty;
}

const ViewData& NodeRef::data() const {
    static const auto* empty = new ViewData();
    return node_ ? *node_->data : *empty;
}

const EnvironmentValues& NodeRef::environment() const {
    return node_ && node_->env ? *node_->env : defaultEnvironment();
}

std::string NodeRef::text() const {
    if (!node_) return {};
    ViewKind k = kind();
    if (k == ViewKind::Text || k == ViewKind::Label) return detail::ownText(*node_);
    return detail::subtreeText(*node_);
}

std::string NodeRef::placeholder() const {
    ViewKind k = kind();
    return k == ViewKind::TextField || k == ViewKind::SecureField ? detail::ownText(*node_) : std::string();
}

std::string NodeRef::value() const {
    if (!node_ || !node_->data->controls->textBinding) return {};
    return node_->data->controls->textBinding->get();
}

std::string NodeRef::symbol() const {
    if (!node_) return {};
    const ViewData& d = *node_->data;
    return (d.kind == ViewKind::Image || d.kind == ViewKind::Label) && d.systemImage ? d.imageName
                                                                                     : std::string();
}

std::string NodeRef::imageName() const {
    if (!node_) return {};
    const ViewData& d = *node_->data;
    return d.kind == ViewKind::Image && !d.systemImage ? d.imageName : std::string();
}

std::string NodeRef::testId() const {
    return node_ ? node_->data->attrs->testId : std::string();
}

std::optional<std::string> NodeRef::help() const {
    if (!node_ || !node_->data->attrs->help) return std::nullopt;
    return node_->data->attrs->help->resolve(environment().localize);
}

std::optional<std::string> NodeRef::navigationTitle() const {
    if (!node_ || !node_->data->attrs->navigationTitle) return std::nullopt;
    return node_->data->attrs->navigationTitle->resolve(environment().localize);
}

std::optional<KeyboardShortcut> NodeRef::keyboardShortcut() const {
    return node_ ? node_->data->attrs->shortcut : std::nullopt;
}

std::optional<bool> NodeRef::isOn() const {
    if (!node_ || !node_->data->controls->boolBinding) return std::nullopt;
    return node_->data->controls->boolBinding->get();
}

std::optional<Tag> NodeRef::tag() const {
    if (!node_ || node_->data->attrs->tag.isNone()) return std::nullopt;
    return node_->data->attrs->tag;
}

std::optional<Tag> NodeRef::selection() const {
    if (!node_) return std::nullopt;
    const ViewData& d = *node_->data;
    if (d.controls->tagBinding) return d.controls->tagBinding->get();
    if (d.controls->selectionBinding) return d.controls->selectionBinding->get();
    return std::nullopt;
}

bool NodeRef::isSelected() const {
    if (!node_) return false;
    auto row = detail::listRowOf(node_.get());
    if (!row.row || !row.list->data->controls->selectionBinding) return false;
    Tag tag = detail::rowTag(*row.row);
    auto selected = row.list->data->controls->selectionBinding->get();
    return !tag.isNone() && selected && *selected == tag;
}

bool NodeRef::hasSelectedText() const {
    const auto selection = fieldSelection();
    return selection && !selection->empty();
}

std::optional<FieldSelection> NodeRef::fieldSelection() const {
    if (!node_ || !node_->graph || !node_->alive) return std::nullopt;
    return detail::FieldEditor::selectionOf(*node_->graph, *node_);
}

double NodeRef::fieldTextScroll() const {
    if (!node_ || !node_->graph || !node_->alive || !node_->data->controls->textBinding) return 0;
    return detail::FieldEditor(*node_->graph, *node_).textScroll();
}

bool NodeRef::isKeyboardRow() const {
    if (!node_ || !node_->graph || !node_->alive) return false;
    auto row = detail::listRowOf(node_.get());
    if (row.row != node_.get() || node_->graph->focused.lock().get() != row.list) return false;
    return detail::Input::keyboardRow(*node_->graph, *row.list) == node_.get();
}

bool NodeRef::isEnabled() const {
    return node_ && node_->env && node_->env->isEnabled;
}

std::string NodeRef::typeName() const {
    if (!node_ || node_->data->kind != ViewKind::Component) return {};
    return detail::typeName(*node_->data->component->info);
}

Rect NodeRef::frame() const {
    return node_ ? node_->frame : Rect{};
}

NodeRef NodeRef::parent() const {
    if (!node_ || !node_->parent) return {};
    return NodeRef(node_->parent->shared_from_this());
}

std::vector<NodeRef> NodeRef::children() const {
    std::vector<NodeRef> out;
    if (node_)
        for (const auto& c : node_->children)
            out.emplace_back(c);
    return out;
}

std::vector<NodeRef> NodeRef::findAll(const Query& query) const {
    std::vector<NodeRef> out;
    std::function<void(const std::shared_ptr<Node>&)> walk = [&](const std::shared_ptr<Node>& n) {
        NodeRef ref(n);
        if (query.matches(ref)) out.push_back(ref);
        for (const auto& c : n->children)
            walk(c);
    };
    if (node_) walk(node_);
    return out;
}

NodeRef NodeRef::find(const Query& query) const {
    auto all = findAll(query);
    return all.empty() ? NodeRef() : all.front();
}

std::string NodeRef::describe() const {
    if (!node_) return "(none)";
    const ViewData& d = *node_->data;
    const EnvironmentValues& env = environment();
    std::string s = d.kind == ViewKind::Component ? typeName() : name(d.kind);
    switch (d.kind) {
    case ViewKind::Text:
        s += " " + quoted(text()) + " font=" + env.effectiveFont().description();
        if (env.foregroundColor) s += " color=" + env.foregroundColor->description();
        break;
    case ViewKind::Label:
        s += " " + quoted(text()) + " symbol=" + d.imageName;
        break;
    case ViewKind::Image:
        s += d.systemImage ? " symbol=" + d.imageName : " image=" + d.imageName;
        break;
    case ViewKind::TextField:
        s += " placeholder=" + quoted(placeholder()) + " value=" + quoted(value());
        break;
    case ViewKind::SecureField:
        // The typed secret never reaches a dump; its length does, for tests.
        s +=
            " placeholder=" + quoted(placeholder()) + " value=<" + std::to_string(value().size()) + " bytes>";
        break;
    case ViewKind::Toggle:
        s += *isOn() ? " on" : " off";
        break;
    case ViewKind::Picker:
    case ViewKind::List:
        if (auto sel = selection()) s += " selection=" + sel->description();
        break;
    case ViewKind::Branch:
        s += " [" + d.branch + "]";
        break;
    case ViewKind::Button:
        if (d.controls->role != ButtonRole::None) s += std::string(" role=") + name(d.controls->role);
        break;
    case ViewKind::Spacer:
        if (d.minLength) s += " min=" + std::to_string(static_cast<long long>(*d.minLength));
        break;
    default:
        break;
    }
    if (d.attrs->id) s += " #" + *d.attrs->id;
    if (!d.attrs->testId.empty()) s += " testId=" + d.attrs->testId;
    if (!d.attrs->tag.isNone()) s += " tag=" + d.attrs->tag.description();
    if (isSelected() && detail::listRowOf(node_.get()).row == node_.get()) s += " selected";
    if (!isEnabled()) s += " disabled";
    if (auto h = help()) s += " help=" + quoted(*h);
    if (d.attrs->shortcut) s += " shortcut=" + d.attrs->shortcut->description();
    if (d.attrs->clipShape) s += " clip=" + d.attrs->clipShape->description();
    if (d.attrs->borderColor) s += " border=" + d.attrs->borderColor->description();
    if (d.attrs->shadow) s += " shadow";
    if (!isAlive()) s += " (gone)";
    return s + " @ " + plat::describe(frame());
}

} // namespace plat::ui
