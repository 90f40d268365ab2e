#include "platform/render/ui/PaintContext.h"

#include "platform/render/ui/Palette.h"

namespace plat::render {

RGBA PaintContext::foreground(const ui::NodeRef& node) const {
    const auto& env = node.environment();
    const RGBA c = env.foregroundColor ? palette::resolve(*env.foregroundColor, scheme)
                   : roleColor         ? *roleColor
                                       : palette::resolve(ui::Color::primary(), scheme);
    return palette::faded(c, opacity);
}

} // namespace plat::render
