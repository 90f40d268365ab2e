#include "platform/render/ui/MenuPopupPainting.h"

#include "platform/render/FontBook.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/Palette.h"

#include <algorithm>

namespace plat::render {

void paintMenuPopup(const ui::MenuPopup& popup, const Rect& bounds, DisplayList& list,
                    const PaintContext& ctx) {
    const bool dark = ctx.scheme == ui::ColorScheme::Dark;
    const Rect panel = ctx.inWindow(popup.panel);
    list.pushClip(ctx.inWindow(bounds));
    list.fillRect({panel.x + 1, panel.y + 3, panel.width, panel.height}, RGBA{0, 0, 0, 0.14f}, 7);
    list.fillRect(panel, dark ? RGBA::rgb(0x2C2C2E) : RGBA::rgb(0xFFFFFF), 6);
    list.strokeRect(panel, dark ? RGBA::rgb(0x48484A) : palette::separator, 6, 1);
    const bool picker = popup.owner.kind() == ui::ViewKind::Picker;
    for (const ui::MenuPopup::Row& row : popup.rows) {
        const Rect r = ctx.inWindow(row.frame);
        if (row.separator) {
            list.fillRect({r.x + 8, r.y + r.height / 2 - 0.5, r.width - 16, 1}, palette::separator);
            continue;
        }
        RGBA text = palette::resolve(row.enabled ? ui::Color::primary() : ui::Color::secondary(), ctx.scheme);
        if (row.reached) {
            // The entry the arrow keys are on, highlighted as the pointer's would be.
            list.fillRect({r.x + 4, r.y, r.width - 8, r.height}, palette::accent, 4);
            text = RGBA::rgb(0xFFFFFF);
        }
        double x = r.x + 12;
        if (picker) {
            if (row.chosen) list.symbol({x, r.y + (r.height - 10) / 2, 10, 10}, "checkmark", text);
            x += 18;
        }
        if (!row.symbol.empty()) {
            list.symbol({x, r.y + (r.height - 16) / 2, 16, 16}, row.symbol, text);
            x += 22;
        }
        const Font font = FontMetrics::fontFor(row.item.environment().effectiveFont());
        cmd::Text t;
        t.text = row.text;
        t.font = font;
        t.color = text;
        t.lineHeight = FontMetrics::lineHeightFor(font.size);
        t.origin = {x, r.y + std::max(0.0, (r.height - t.lineHeight) / 2)};
        if (!row.shortcut.empty()) {
            // The shortcut at the row's far end, dimmer than the title.
            cmd::Text key = t;
            key.text = row.shortcut;
            key.color = palette::resolve(ui::Color::secondary(), ctx.scheme);
            key.origin.x = r.x + r.width - 12 - FontBook::shared().measure(row.shortcut, font).width;
            list.add(std::move(key));
        }
        list.add(std::move(t));
    }
    list.popClip();
}

} // namespace plat::render
