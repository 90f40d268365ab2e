// What a list or scroll view keeps for its place in the tree: how far its content is scrolled
// along its axis. Made on first use by the layout or by input, kept while the place lives (a
// rebuild of the view keeps it), released with the place.
//
// The layout records the content's length and the viewport's each time it places the view; the
// offset stays within [0, content - viewport]. Main thread only.
#pragma once

#include "platform/ui/NodeRef.h"

#include <memory>
#include <optional>
#include <string>

namespace plat::ui {

namespace detail {
struct Node;
}

class ScrollState {
public:
    // Points the content moves per unit of wheel turn.
    static constexpr double wheelStep = 40;

    // The state of a list or scroll view node, made on first use; null for any other node.
    static std::shared_ptr<ScrollState> of(const NodeRef& node);
    static std::shared_ptr<ScrollState> of(detail::Node& node);

    double offset() const { return offset_; }
    double contentLength() const { return content_; }
    double viewportLength() const { return viewport_; }
    double maxOffset() const { return content_ > viewport_ ? content_ - viewport_ : 0; }

    // Records what the layout found, and pulls the offset back into range.
    void setExtent(double contentLength, double viewportLength);
    // Moves to `offset`, clamped; true when the offset changed.
    bool scrollTo(double offset);
    bool scrollBy(double delta) { return scrollTo(offset_ + delta); }
    // Goes back to the start when `key` differs from the one given the time before.
    void follow(const std::string& key);

private:
    double offset_ = 0;
    double content_ = 0;
    double viewport_ = 0;
    std::optional<std::string> key_;
};

} // namespace plat::ui
