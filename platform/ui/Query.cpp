#include "platform/ui/Query.h"

namespace plat::ui {

namespace {
bool showsText(const NodeRef& n) {
    return n.kind() == ViewKind::Text || n.kind() == ViewKind::Label;
}
} // namespace

Query Query::text(std::string text) {
    return Query("text " + text, [text](const NodeRef& n) { return showsText(n) && n.text() == text; });
}

Query Query::textContaining(std::string part) {
    return Query("text containing " + part, [part](const NodeRef& n) {
        return showsText(n) && n.text().find(part) != std::string::npos;
    });
}

Query Query::kind(ViewKind kind) {
    return Query(std::string("kind ") + name(kind), [kind](const NodeRef& n) { return n.kind() == kind; });
}

Query Query::placeholder(std::string placeholder) {
    return Query("placeholder " + placeholder, [placeholder](const NodeRef& n) {
        return (n.kind() == ViewKind::TextField || n.kind() == ViewKind::SecureField) &&
               n.placeholder() == placeholder;
    });
}

Query Query::symbol(std::string symbolName) {
    return Query("symbol " + symbolName, [symbolName](const NodeRef& n) {
        return n.kind() == ViewKind::Image && n.symbol() == symbolName;
    });
}

Query Query::image(std::string assetName) {
    return Query("image " + assetName, [assetName](const NodeRef& n) { return n.imageName() == assetName; });
}

Query Query::testId(std::string id) {
    return Query("testId " + id, [id](const NodeRef& n) { return n.testId() == id; });
}

Query Query::help(std::string help) {
    return Query("help " + help, [help](const NodeRef& n) { return n.help() == help; });
}

Query Query::button(std::string title) {
    return Query("button " + title,
                 [title](const NodeRef& n) { return n.kind() == ViewKind::Button && n.text() == title; });
}

Query Query::toggle(std::string label) {
    return Query("toggle " + label,
                 [label](const NodeRef& n) { return n.kind() == ViewKind::Toggle && n.text() == label; });
}

Query Query::where(std::string description, std::function<bool(const NodeRef&)> predicate) {
    return Query(std::move(description), std::move(predicate));
}

Query Query::operator&&(const Query& other) const {
    return Query(description_ + " and " + other.description_,
                 [a = predicate_, b = other.predicate_](const NodeRef& n) { return a(n) && b(n); });
}

} // namespace plat::ui
