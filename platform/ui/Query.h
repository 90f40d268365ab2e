// A predicate over nodes for Host and NodeRef searches: by shown text, kind, placeholder, symbol,
// asset image, test id or help text, combinable with &&.
#pragma once

#include "platform/ui/NodeRef.h"

#include <functional>
#include <string>

namespace plat::ui {

class Query {
public:
    // Text and Label nodes showing exactly `text`.
    static Query text(std::string text);
    // Text and Label nodes whose text contains `part`.
    static Query textContaining(std::string part);
    static Query kind(ViewKind kind);
    static Query placeholder(std::string placeholder);
    static Query symbol(std::string symbolName);
    static Query image(std::string assetName);
    static Query testId(std::string id);
    static Query help(std::string help);
    // Buttons (menu items included) whose label shows `title`.
    static Query button(std::string title);
    // Toggles whose label shows `label`.
    static Query toggle(std::string label);
    static Query where(std::string description, std::function<bool(const NodeRef&)> predicate);

    bool matches(const NodeRef& node) const { return predicate_(node); }
    const std::string& description() const { return description_; }
    Query operator&&(const Query& other) const;

private:
    Query(std::string description, std::function<bool(const NodeRef&)> predicate)
        : description_(std::move(description)), predicate_(std::move(predicate)) {}
    std::string description_;
    std::function<bool(const NodeRef&)> predicate_;
};

} // namespace plat::ui
