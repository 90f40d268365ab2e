// Draws a laid-out view tree. The window's renderer draws pixels; TextDumpRenderer writes the tree
// as indented text. Drawing never evaluates a body: it only reads the nodes and their frames.
#pragma once

#include "platform/ui/LayoutValues.h"
#include "platform/ui/NodeRef.h"

#include <vector>

namespace plat::ui {

// One layer of a window, drawn back to front: the content, then presented sheets, then alerts.
struct RenderLayer {
    enum class Kind { Content, Sheet, Alert };
    Kind kind = Kind::Content;
    NodeRef root{};
    Rect frame{};
};

class Renderer {
public:
    virtual ~Renderer() = default;
    virtual void render(Size contentSize, const std::vector<RenderLayer>& layers) = 0;
};

} // namespace plat::ui
