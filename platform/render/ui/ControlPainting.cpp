#include "platform/render/ui/ControlPainting.h"

#include "platform/render/FontBook.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/LeafPainting.h"
#include "platform/render/ui/Palette.h"
#include "platform/ui/FieldGeometry.h"
#include "platform/ui/Query.h"
#include "platform/ui/ViewData.h"

#include <algorithm>
#include <cmath>

namespace plat::render {

using palette::faded;
using ui::ViewKind;

void paintFocusRing(const Rect& frame, double radius, DisplayList& list, const PaintContext& ctx) {
    const Rect r = ctx.inWindow(frame);
    auto grown = [&r](double by) { return Rect{r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by}; };
    const RGBA background = ctx.scheme == ui::ColorScheme::Dark ? RGBA::rgb(0x1E1E1E) : RGBA::rgb(0xFFFFFF);
    // Strokes lie inside their rectangles: the band takes the first 2 points around the control,
    // the ring the next 2.5.
    list.strokeRect(grown(2), faded(background, ctx.opacity), radius + 2, 2);
    list.strokeRect(grown(4.5), faded(palette::accent, ctx.opacity), radius + 4.5, 2.5);
}

PaintContext paintButton(const ui::NodeRef& node, DisplayList& list, PaintContext ctx) {
    const auto& env = node.environment();
    const ui::ViewData& d = node.data();
    if (d.controls->role == ui::ButtonRole::Destructive) ctx.roleColor = palette::destructive;
    switch (env.buttonStyle) {
    case ui::ButtonStyle::Plain:
    case ui::ButtonStyle::Borderless:
        break;
    case ui::ButtonStyle::Link:
        if (!env.foregroundColor) ctx.roleColor = palette::accent;
        break;
    case ui::ButtonStyle::Automatic:
    case ui::ButtonStyle::Bordered: {
        const Rect r = ctx.inWindow(node.frame());
        const bool isDefault = d.controls->role == ui::ButtonRole::None && node.keyboardShortcut() &&
                               *node.keyboardShortcut() == ui::KeyboardShortcut::defaultAction();
        list.fillRect(r, faded(isDefault ? palette::accent : palette::bezel, ctx.opacity), 5);
        if (isDefault && !env.foregroundColor && !ctx.roleColor) ctx.roleColor = RGBA::rgb(0xFFFFFF);
        break;
    }
    }
    return ctx;
}

void paintField(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx, bool focused) {
    const auto& env = node.environment();
    const Rect frame = node.frame();
    const Rect r = ctx.inWindow(frame);
    const bool bordered = env.textFieldStyle != ui::TextFieldStyle::Plain;
    if (bordered) {
        list.fillRect(r, faded(RGBA::rgb(0xFFFFFF), ctx.opacity), 4);
        list.strokeRect(r, faded(focused ? palette::accent : palette::separator, ctx.opacity), 4,
                        focused ? 2 : 1);
    }
    const double inset = ui::fieldTextInset(env.textFieldStyle);
    const std::string value = node.value();
    const bool secure = node.kind() == ViewKind::SecureField;
    auto shownPrefix = [&](size_t bytes) {
        return ui::fieldShownText(std::string_view(value).substr(0, bytes), secure);
    };
    const std::string shown = shownPrefix(value.size());
    // The text stops short of a control laid over the field's end (a search field's clear button).
    const double end = ui::fieldTextEnd(node, env.textFieldStyle);
    const Rect inner{frame.x + inset, frame.y, std::max(0.0, end - frame.x - inset), frame.height};
    const Font font = FontMetrics::fontFor(env.effectiveFont());
    auto widthOf = [&](size_t bytes) { return FontBook::shared().measure(shownPrefix(bytes), font).width; };
    const double textWidth = FontBook::shared().measure(shown, font).width;
    const auto selection = focused ? node.fieldSelection() : std::nullopt;
    const double caretX = selection ? widthOf(selection->caret) : textWidth;
    // One line, never wrapped: a value longer than the field scrolls to show the caret while the
    // field has the focus, and shows its start otherwise.
    const Rect area = ctx.inWindow(inner);
    const double x = area.x - (focused ? node.fieldTextScroll() : 0);
    const double h = FontMetrics::lineHeightFor(font.size);
    list.pushClip(area);
    if (shown.empty()) {
        paintText(node, node.placeholder(), inner, list, ctx, RGBA::rgb(0x3C3C43, 0.3f));
    } else {
        PaintContext single = ctx;
        single.underline = false;
        cmd::Text t;
        t.text = shown;
        t.font = font;
        t.color = single.foreground(node);
        t.lineHeight = h;
        t.origin = {x, r.y + std::max(0.0, (r.height - t.lineHeight) / 2)};
        if (selection && !selection->empty()) {
            const double from = widthOf(selection->start());
            list.fillRect({x + from, t.origin.y, widthOf(selection->end()) - from, t.lineHeight},
                          faded(palette::accent.withAlpha(0.3f), ctx.opacity), 2);
        }
        list.add(std::move(t));
    }
    // The caret straddles the boundary between two characters rather than covering the next one.
    if (focused && (!selection || selection->empty()))
        list.fillRect({std::max(area.x, x + caretX - 0.75), r.y + (r.height - h) / 2, 1.5, h},
                      faded(palette::accent, ctx.opacity));
    list.popClip();
}

void paintToggle(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const auto& env = node.environment();
    const bool on = node.isOn().value_or(false);
    const Rect r = ctx.inWindow(node.frame());
    const RGBA white = RGBA::rgb(0xFFFFFF);
    if (env.toggleStyle != ui::ToggleStyle::Switch) {
        // A check box, the default style, sits at the leading edge, before the label.
        const Rect box{r.x + 1, r.y + (r.height - 14) / 2, 14, 14};
        list.fillRect(box, faded(on ? palette::accent : white, ctx.opacity), 3);
        if (!on) list.strokeRect(box, faded(RGBA::rgb(0x8E8E93), ctx.opacity), 3, 1);
        if (on) list.symbol({box.x + 2, box.y + 2, 10, 10}, "checkmark", faded(white, ctx.opacity));
    } else {
        // A switch at the trailing edge, after the label.
        const Rect track{r.maxX() - 34, r.y + (r.height - 20) / 2, 34, 20};
        list.fillRect(track, faded(on ? palette::accent : RGBA::rgb(0xD1D1D6), ctx.opacity), 10);
        const double knobX = on ? track.maxX() - 18 : track.x + 2;
        list.add(cmd::FillEllipse{{knobX, track.y + 2, 16, 16}, faded(white, ctx.opacity)});
    }
}

void paintPicker(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    // The entries show when the picker opens.
    const auto& env = node.environment();
    Rect bezel = node.frame();
    const std::string label = node.data().text.resolve(env.localize);
    if (!env.labelsHidden && !label.empty()) {
        const Font font = FontMetrics::fontFor(env.effectiveFont());
        const double width = std::min(FontBook::shared().measure(label, font).width, bezel.width);
        paintText(node, label, {bezel.x, bezel.y, width, bezel.height}, list, ctx);
        // The same gap the layout leaves between the label and the bezel.
        const double gap = std::min(8.0, bezel.width - width);
        bezel = {bezel.x + width + gap, bezel.y, bezel.width - width - gap, bezel.height};
    }
    const Rect r = ctx.inWindow(bezel);
    list.fillRect(r, faded(palette::bezel, ctx.opacity), 5);
    std::string chosen;
    const auto selection = node.selection();
    for (const ui::NodeRef& entry : node.children()) {
        if (selection && entry.tag() == selection) chosen = entry.text();
    }
    paintText(node, chosen, {bezel.x + 8, bezel.y, std::max(0.0, bezel.width - 30), bezel.height}, list, ctx);
    list.symbol({r.maxX() - 20, r.y + (r.height - 10) / 2, 10, 10}, "chevron.down", ctx.foreground(node));
}

void paintProgress(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    const Rect r = ctx.inWindow(node.frame());
    if (auto progress = node.data().controls->progress) {
        const Rect bar{r.x, r.y + r.height / 2 - 3, r.width, 6};
        list.fillRect(bar, faded(palette::bezel, ctx.opacity), 3);
        list.fillRect({bar.x, bar.y, bar.width * std::clamp(*progress, 0.0, 1.0), bar.height},
                      faded(palette::accent, ctx.opacity), 3);
        return;
    }
    // The spinner goes above the label when there is one.
    const auto children = node.children();
    double bottom = r.maxY();
    if (!children.empty()) bottom = ctx.inWindow(children.front().frame()).y - 4;
    const double side = std::clamp(std::min(r.width, bottom - r.y), 0.0, 32.0);
    list.add(cmd::Spinner{{r.x + (r.width - side) / 2, std::max(r.y, bottom - side), side, side}});
}

} // namespace plat::render
