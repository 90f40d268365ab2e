#include "platform/ui/TextDumpRenderer.h"

namespace plat::ui {

void TextDumpRenderer::render(Size contentSize, const std::vector<RenderLayer>& layers) {
    text_ = "Window " + describe(contentSize) + "\n";
    for (const auto& layer : layers) {
        const char* kind = layer.kind == RenderLayer::Kind::Content ? "Content"
                           : layer.kind == RenderLayer::Kind::Sheet ? "Sheet"
                                                                    : "Alert";
        text_ += std::string(kind) + " @ " + describe(layer.frame) + "\n";
        for (const auto& child : layer.root.children())
            write(child, 1);
    }
}

void TextDumpRenderer::write(const NodeRef& node, int depth) {
    if (node.kind() == ViewKind::Empty) return;
    text_ += std::string(static_cast<std::size_t>(depth) * 2, ' ') + node.describe() + "\n";
    for (const auto& child : node.children())
        write(child, depth + 1);
}

} // namespace plat::ui
