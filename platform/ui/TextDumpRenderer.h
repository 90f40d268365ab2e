// A renderer that writes the layers as indented text, one node a line with its frame and the
// attributes that matter to a reader: what `Host::dump()` prints.
#pragma once

#include "platform/ui/Renderer.h"

#include <string>

namespace plat::ui {

class TextDumpRenderer : public Renderer {
public:
    void render(Size contentSize, const std::vector<RenderLayer>& layers) override;
    // The text of the last render.
    const std::string& text() const { return text_; }

private:
    void write(const NodeRef& node, int depth);
    std::string text_;
};

} // namespace plat::ui
