#include "platform/ui/FieldGeometry.h"

#include "platform/ui/Query.h"

#include <algorithm>

namespace plat::ui {

std::string fieldShownText(std::string_view text, bool secure) {
    if (!secure) return std::string(text);
    std::string bullets;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) bullets += "\u2022";
    return bullets;
}

double scrollShowingCaret(double textWidth, double caretX, double width, std::optional<double> previous) {
    // Two points after the text keep the caret drawn at its end.
    const double overflow = textWidth + 2 - width;
    if (overflow <= 0) return 0;
    const double least = caretX + 2 - width;
    const double shown = std::min(previous ? std::max(*previous, least) : least, caretX);
    return std::clamp(shown, 0.0, overflow);
}

double fieldTextEnd(const NodeRef& field, TextFieldStyle style) {
    const Rect f = field.frame();
    double end = f.maxX() - fieldTextInset(style);
    // Up through the modifiers wrapped around the field, looking at what their overlays put on it.
    for (NodeRef cur = field.parent(); cur; cur = cur.parent()) {
        const ViewKind k = cur.kind();
        if (k != ViewKind::Padding && k != ViewKind::Frame && k != ViewKind::Background &&
            k != ViewKind::Overlay && !isTransparent(k))
            break;
        if (k != ViewKind::Overlay) continue;
        const auto parts = cur.children();
        if (parts.size() < 2) continue;
        for (const NodeRef& control : parts[1].findAll(Query::kind(ViewKind::Button))) {
            const Rect c = control.frame();
            const bool overEnd = c.maxX() > f.maxX() - f.width / 2 && c.x < f.maxX() && c.maxY() > f.y &&
                                 c.y < f.maxY() && c.width > 0;
            if (overEnd) end = std::min(end, c.x);
        }
    }
    return end;
}

} // namespace plat::ui
