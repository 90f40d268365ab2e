// Measures and places a tree of live nodes. A parent proposes a size to each child, the child
// answers with the size it wants, and the parent places it. Stacks give inflexible children their
// size, every flexible child its minimum, and share what is left equally, least flexible child
// first; spacers (at least 8 points along their stack's axis), lists, scroll views and maps grow
// without bound; but while a sibling can grow without bound, spacers keep their minimum. Frames clamp what
// they offer and report by their min/ideal/max rules, padding insets, and transparent nodes (groups, repeated
// content, branches, screens) lay out as their children.
//
// Main thread only; one engine per layout pass (it caches measurements in the nodes).
//
// Where the members live: Layout.cpp holds the engine's frame, stack and container rules;
// LayoutLeaves.cpp holds the leaves and controls (measureLeaf, placeLeaf and textSize).
#pragma once

#include "platform/ui/Node.h"
#include "platform/ui/TextMetrics.h"

#include <optional>
#include <vector>

namespace plat::ui::detail {

class LayoutEngine {
public:
    explicit LayoutEngine(const TextMetrics& metrics) : metrics_(metrics) {}

    // Forgets the frames of the subtree and the measurements that went stale, so a subtree built
    // again is measured afresh while an unchanged one keeps what it measured before.
    static void prepare(Node& root);
    // Prepares the subtree, then lays it out into `bounds`.
    void layoutRoot(Node& root, Rect bounds);
    // The size `node` wants for `proposal` (cached for the pass).
    Size measure(Node& node, ProposedSize proposal);
    // Gives `node` the frame `bounds` and places its children inside.
    void place(Node& node, Rect bounds);

    // The nodes that take part in `node`'s layout as its children: transparent children are
    // replaced by their own, empty ones dropped.
    static std::vector<Node*> layoutChildren(Node& node);

private:
    Size compute(Node& node, ProposedSize p);
    Size measureLeaf(Node& node, ProposedSize p);
    void placeLeaf(Node& node, Rect bounds);

    // Several nodes where one is expected lay out as a vertical stack.
    Size measureContent(const std::vector<Node*>& items, ProposedSize p);
    void placeContent(const std::vector<Node*>& items, Rect bounds, Alignment alignment);

    // Stacks: sizes of `items` along `axis` within `length` (none: ideal sizes).
    std::vector<Size> allocate(const std::vector<Node*>& items, Axis axis, std::optional<double> length,
                               std::optional<double> cross, double spacing);
    Size measureStack(const std::vector<Node*>& items, Axis axis, ProposedSize p, double spacing);
    void placeStack(const std::vector<Node*>& items, Axis axis, Rect bounds, double spacing,
                    Alignment alignment);

    // Text wraps at word boundaries within the offered width; a single-line text never wraps.
    Size textSize(const std::string& text, const Font& font, ProposedSize p, bool singleLine) const;

    const TextMetrics& metrics_;
};

// Where a child of `size` goes inside `bounds` by `alignment`.
Rect aligned(Rect bounds, Size size, Alignment alignment);

} // namespace plat::ui::detail
