#include "platform/render/ui/TreePainter.h"

#include "platform/map/FlagLookup.h"
#include "platform/render/ColorAssets.h"
#include "platform/render/FontBook.h"
#include "platform/render/ImageStore.h"
#include "platform/render/ui/FontMetrics.h"
#include "platform/render/ui/MapPainter.h"
#include "platform/ui/MapViewState.h"
#include "platform/ui/Query.h"
#include "platform/ui/ViewData.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace plat::render {

namespace {

using ui::ViewKind;

const Color kAccent = Color::rgb(0x007AFF);
const Color kSeparator = Color::rgb(0xD1D1D6);
const Color kBezel = Color::rgb(0xE5E5EA);
const Color kPanel = Color::rgb(0xF2F2F7);

Color faded(Color c, float opacity) {
    return c.withAlpha(c.a * opacity);
}

bool isControl(ViewKind k) {
    return k == ViewKind::Button || k == ViewKind::TextField || k == ViewKind::SecureField ||
           k == ViewKind::Toggle || k == ViewKind::Picker || k == ViewKind::Menu;
}

bool sameFrame(const ui::Rect& a, const ui::Rect& b) {
    return std::fabs(a.x - b.x) < 0.5 && std::fabs(a.y - b.y) < 0.5 && std::fabs(a.width - b.width) < 0.5 &&
           std::fabs(a.height - b.height) < 0.5;
}

float radiusOf(const ui::Shape& shape, const ui::Rect& frame) {
    const float half = static_cast<float>(std::min(frame.width, frame.height)) * 0.5f;
    switch (shape.kind) {
    case ui::Shape::Kind::Rectangle:
        return 0;
    case ui::Shape::Kind::RoundedRectangle:
        return std::min(half, static_cast<float>(shape.cornerRadius));
    case ui::Shape::Kind::Capsule:
    case ui::Shape::Kind::Circle:
        return half;
    }
    return 0;
}

// The longest start of `text` that fits `width` with an ellipsis after it (the whole text when it
// fits as it is).
std::string truncated(const std::string& text, const Font& font, float width) {
    const FontBook& book = FontBook::shared();
    if (book.measure(text, font).width <= width) return text;
    // Cut only between code points.
    std::vector<size_t> cuts;
    for (size_t i = 1; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) cuts.push_back(i);
    size_t lo = 0, hi = cuts.size(); // the first `lo` cuts fit; none beyond `hi` does
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (book.measure(text.substr(0, cuts[mid - 1]) + "\u2026", font).width <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo == 0 ? std::string("\u2026") : text.substr(0, cuts[lo - 1]) + "\u2026";
}

// A label's title is one line: what does not fit is cut short rather than wrapped.
bool singleLine(const ui::NodeRef& node) {
    return node.kind() == ViewKind::Label || (node.parent() && node.parent().kind() == ViewKind::Label);
}

// Code points in a UTF-8 text (for the bullets of a secure field).
size_t codepointCount(const std::string& s) {
    return static_cast<size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

} // namespace

Color TreePainter::resolve(const ui::Color& c, ui::ColorScheme scheme) {
    const bool dark = scheme == ui::ColorScheme::Dark;
    const auto a = static_cast<float>(c.alpha());
    switch (c.kind()) {
    case ui::Color::Kind::RGBA:
        return Color{static_cast<float>(c.r()), static_cast<float>(c.g()), static_cast<float>(c.b()), a};
    case ui::Color::Kind::Primary:
        return (dark ? Color::rgb(0xFFFFFF) : Color::rgb(0x000000)).withAlpha(a * 0.9f);
    case ui::Color::Kind::Secondary:
        return (dark ? Color::rgb(0xEBEBF5) : Color::rgb(0x3C3C43)).withAlpha(a * 0.6f);
    case ui::Color::Kind::Accent:
        return kAccent.withAlpha(a);
    case ui::Color::Kind::Clear:
        return Color{0, 0, 0, 0};
    case ui::Color::Kind::Asset:
        if (auto named = ColorAssets::shared().color(c.name())) return named->withAlpha(named->a * a);
        return Color{static_cast<float>(c.r()), static_cast<float>(c.g()), static_cast<float>(c.b()), a};
    }
    return Color{0, 0, 0, a};
}

Rect TreePainter::at(ui::Rect r) const {
    return {static_cast<float>(r.x - offset_.x), static_cast<float>(r.y - offset_.y),
            static_cast<float>(r.width), static_cast<float>(r.height)};
}

Color TreePainter::foreground(const ui::NodeRef& node, const Context& ctx) const {
    const auto& env = node.environment();
    Color c = env.foregroundColor ? resolve(*env.foregroundColor, ctx.scheme)
              : ctx.roleColor     ? *ctx.roleColor
                                  : resolve(ui::Color::primary(), ctx.scheme);
    return faded(c, ctx.opacity);
}

TreePainter::TreePainter() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Rows draw flags 50 points wide at most: twice that keeps them sharp on any scale the
        // window may grow to, a tenth of the set's 320 by 240.
        ImageStore::shared().setFallback(
            [](const std::string& name) { return map::FlagLookup::shared().pathFor(name); }, 100, 75);
    });
}

void TreePainter::render(ui::Size contentSize, const std::vector<ui::RenderLayer>& layers) {
    window_ = DisplayList{};
    animating_ = false;
    sheets_.clear();
    (void)contentSize;
    for (const ui::RenderLayer& layer : layers) {
        switch (layer.kind) {
        case ui::RenderLayer::Kind::Content:
            offset_ = {};
            paintLayer(layer, window_, {});
            break;
        case ui::RenderLayer::Kind::Sheet: {
            SheetList sheet;
            sheet.frame = layer.frame;
            sheet.list.background = kPanel.withAlpha(1);
            offset_ = {layer.frame.x, layer.frame.y};
            paintLayer(layer, sheet.list, offset_);
            sheets_.push_back(std::move(sheet));
            break;
        }
        case ui::RenderLayer::Kind::Alert: {
            // Modal in its window: dim the rest, then the alert's own panel.
            DisplayList& list = sheets_.empty() ? window_ : sheets_.back().list;
            offset_ =
                sheets_.empty() ? ui::Point{} : ui::Point{sheets_.back().frame.x, sheets_.back().frame.y};
            list.fillRect({-10000, -10000, 20000, 20000}, Color{0, 0, 0, 0.25f});
            list.fillRect(at(layer.frame), kPanel, 12);
            list.strokeRect(at(layer.frame), kSeparator, 12, 1);
            paintLayer(layer, list, offset_);
            break;
        }
        }
    }
    paintPopup(layers);
    offset_ = {};
}

void TreePainter::paintPopup(const std::vector<ui::RenderLayer>& layers) {
    if (!popup_ || !popup_->owner.isAlive() || popup_->rows.empty()) return;
    ui::NodeRef root = popup_->owner;
    while (root.parent())
        root = root.parent();
    // The list of the window or sheet window that shows the control, and where its origin lies.
    DisplayList* list = nullptr;
    ui::Rect bounds;
    size_t sheet = 0;
    for (const ui::RenderLayer& layer : layers) {
        const bool isSheet = layer.kind == ui::RenderLayer::Kind::Sheet;
        if (layer.root == root) {
            if (layer.kind == ui::RenderLayer::Kind::Content) {
                list = &window_;
                offset_ = {};
                bounds = layer.frame;
            } else {
                // An alert's control draws in the list the alert went to.
                const bool inSheet = isSheet || sheet > 0;
                const size_t index = isSheet ? sheet : sheet - 1;
                if (inSheet && index < sheets_.size()) {
                    list = &sheets_[index].list;
                    bounds = sheets_[index].frame;
                } else {
                    list = &window_;
                    bounds = layers.front().frame;
                }
                offset_ = {bounds.x, bounds.y};
            }
        }
        if (isSheet) ++sheet;
    }
    if (!list) return;
    const ui::ColorScheme scheme = popup_->owner.environment().colorScheme;
    const bool dark = scheme == ui::ColorScheme::Dark;
    const Rect panel = at(popup_->panel);
    list->pushClip(at(bounds));
    list->fillRect({panel.x + 1, panel.y + 3, panel.width, panel.height}, Color{0, 0, 0, 0.14f}, 7);
    list->fillRect(panel, dark ? Color::rgb(0x2C2C2E) : Color::rgb(0xFFFFFF), 6);
    list->strokeRect(panel, dark ? Color::rgb(0x48484A) : kSeparator, 6, 1);
    const bool picker = popup_->owner.kind() == ViewKind::Picker;
    for (const ui::MenuPopup::Row& row : popup_->rows) {
        const Rect r = at(row.frame);
        if (row.separator) {
            list->fillRect({r.x + 8, r.y + r.height / 2 - 0.5f, r.width - 16, 1}, kSeparator);
            continue;
        }
        const Color text =
            row.enabled ? resolve(ui::Color::primary(), scheme) : resolve(ui::Color::secondary(), scheme);
        float x = r.x + 12;
        if (picker) {
            if (row.chosen) list->symbol({x, r.y + (r.height - 10) / 2, 10, 10}, "checkmark", text);
            x += 18;
        }
        if (!row.symbol.empty()) {
            list->symbol({x, r.y + (r.height - 16) / 2, 16, 16}, row.symbol, text);
            x += 22;
        }
        const Font font = FontMetrics::fontFor(row.item.environment().effectiveFont());
        cmd::Text t;
        t.text = row.text;
        t.font = font;
        t.color = text;
        t.lineHeight = FontMetrics::lineHeightFor(font.size);
        t.origin = {x, r.y + std::max(0.0f, (r.height - t.lineHeight) / 2)};
        if (!row.shortcut.empty()) {
            // The shortcut at the row's far end, dimmer than the title.
            cmd::Text key = t;
            key.text = row.shortcut;
            key.color = resolve(ui::Color::secondary(), scheme);
            key.origin.x = r.x + r.width - 12 - FontBook::shared().measure(row.shortcut, font).width;
            list->add(std::move(key));
        }
        list->add(std::move(t));
    }
    list->popClip();
}

void TreePainter::paintLayer(const ui::RenderLayer& layer, DisplayList& list, ui::Point) {
    if (layer.root) paint(layer.root, list, Context{});
}

void TreePainter::paintVisible(const ui::NodeRef& node, const ui::Rect& view, DisplayList& list,
                               const Context& ctx) {
    const ui::Rect f = node.frame();
    const bool outside = f.maxY() <= view.y || f.y >= view.maxY() || f.maxX() <= view.x || f.x >= view.maxX();
    if (outside && (f.width > 0 || f.height > 0)) return;
    // Repeated content spans all its rows: look at each of them.
    if (node.kind() == ViewKind::ForEach || node.kind() == ViewKind::Group) {
        for (const ui::NodeRef& child : node.children())
            paintVisible(child, view, list, ctx);
        return;
    }
    paint(node, list, ctx);
}

void TreePainter::paintChildren(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    for (const ui::NodeRef& child : node.children())
        paint(child, list, ctx);
}

void TreePainter::paint(const ui::NodeRef& node, DisplayList& list, Context ctx) {
    if (!node) return;
    const ui::ViewData& d = node.data();
    const ui::Rect frame = node.frame();
    ctx.scheme = node.environment().colorScheme;
    ctx.opacity *= static_cast<float>(d.attrs.opacity);
    if (isControl(d.kind) && !node.isEnabled()) ctx.opacity *= 0.45f;
    if (d.attrs.underline) {
        ctx.underline = true;
        if (d.attrs.underlineColor) ctx.underlineColor = resolve(*d.attrs.underlineColor, ctx.scheme);
    }
    // A selected list row, also one made by repeated content (whose node sits between the list and
    // its rows), is highlighted behind its content; the nodes inside it count as selected too.
    if (node.isSelected() && !node.parent().isSelected())
        list.fillRect(at(frame), faded(kAccent.withAlpha(0.18f), ctx.opacity), 4);
    const bool clipped = d.attrs.clipShape.has_value();
    if (clipped) {
        list.pushClip(at(frame));
        ctx.clipRadius = radiusOf(*d.attrs.clipShape, frame);
        ctx.clipFrame = frame;
    }
    switch (d.kind) {
    case ViewKind::Text:
        paintText(node, node.text(), frame, list, ctx);
        break;
    case ViewKind::Image:
        paintImage(node, list, ctx);
        break;
    case ViewKind::Label:
        if (node.children().empty()) {
            const float side = static_cast<float>(frame.height);
            if (!d.imageName.empty())
                list.symbol(at({frame.x, frame.y, frame.height, frame.height}), d.imageName,
                            foreground(node, ctx));
            paintText(node, node.text(),
                      {frame.x + side + 6, frame.y, std::max(0.0, frame.width - side - 6), frame.height},
                      list, ctx);
        } else {
            paintChildren(node, list, ctx);
        }
        break;
    case ViewKind::Divider: {
        const Rect r = at(frame);
        if (r.width >= r.height)
            list.fillRect({r.x, r.y + r.height / 2 - 0.5f, r.width, 1}, faded(kSeparator, ctx.opacity));
        else
            list.fillRect({r.x + r.width / 2 - 0.5f, r.y, 1, r.height}, faded(kSeparator, ctx.opacity));
        break;
    }
    case ViewKind::ProgressView:
        paintProgress(node, list, ctx);
        break;
    case ViewKind::MapView:
        paintMap(node, list, ctx);
        break;
    case ViewKind::Color: {
        const bool rounded = ctx.clipRadius > 0 && sameFrame(frame, ctx.clipFrame);
        list.fillRect(at(frame), faded(resolve(d.color, ctx.scheme), ctx.opacity),
                      rounded ? ctx.clipRadius : 0);
        break;
    }
    case ViewKind::Shape:
        paintShape(node, list, ctx);
        break;
    case ViewKind::Button:
        paintButton(node, list, ctx);
        break;
    case ViewKind::TextField:
    case ViewKind::SecureField:
        paintField(node, list, ctx);
        break;
    case ViewKind::Toggle:
        paintToggle(node, list, ctx);
        break;
    case ViewKind::Picker:
        paintPicker(node, list, ctx);
        break;
    case ViewKind::Menu: {
        // The label only; the items show when the menu opens.
        auto children = node.children();
        if (!children.empty()) paint(children.front(), list, ctx);
        break;
    }
    case ViewKind::List:
    case ViewKind::ScrollView:
        // Only what is scrolled into view is drawn: a long list costs the window what shows.
        list.pushClip(at(frame));
        for (const ui::NodeRef& child : node.children())
            paintVisible(child, frame, list, ctx);
        list.popClip();
        break;
    case ViewKind::Background: {
        // Children: the content, then its decoration, which goes behind.
        auto children = node.children();
        for (size_t i = children.size(); i-- > 1;)
            paint(children[i], list, ctx);
        if (!children.empty()) paint(children.front(), list, ctx);
        break;
    }
    case ViewKind::Sheet:
    case ViewKind::Alert:
    default:
        paintChildren(node, list, ctx);
        break;
    }
    if (d.attrs.borderColor && d.attrs.borderWidth > 0) {
        const bool rounded = ctx.clipRadius > 0 && sameFrame(frame, ctx.clipFrame);
        list.strokeRect(at(frame), faded(resolve(*d.attrs.borderColor, ctx.scheme), ctx.opacity),
                        rounded ? ctx.clipRadius : 0, static_cast<float>(d.attrs.borderWidth));
    }
    if (clipped) list.popClip();
}

void TreePainter::paintText(const ui::NodeRef& node, const std::string& text, ui::Rect frame,
                            DisplayList& list, const Context& ctx, std::optional<Color> color) {
    if (text.empty()) return;
    const Font font = FontMetrics::fontFor(node.environment().effectiveFont());
    const float lineHeight = FontMetrics::lineHeightFor(font.size);
    const Rect r = at(frame);
    cmd::Text t;
    t.text = text;
    t.font = font;
    t.color = color ? faded(*color, ctx.opacity) : foreground(node, ctx);
    t.lineHeight = lineHeight;
    // The layout decides the lines: text wraps within its frame where the frame has room for a
    // second line; a line that cannot wrap ends in an ellipsis instead of running past the frame.
    const float natural = FontBook::shared().measure(text, font).width;
    if (natural > r.width + 0.5f && r.width > 0) {
        if (r.height + 0.5f >= 2 * lineHeight && !singleLine(node))
            t.wrapWidth = r.width;
        else
            t.text = truncated(text, font, r.width + 0.5f);
    }
    // Lines stack from the top; a frame taller than the text centres the block.
    size_t lines = 1;
    if (t.wrapWidth > 0) {
        const float h = FontBook::shared().measure(text, font, t.wrapWidth).height;
        lines = static_cast<size_t>(std::max(1.0f, std::round(h / font.size)));
    } else {
        lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    }
    const float block = lineHeight * static_cast<float>(lines);
    t.origin = {r.x, r.y + std::max(0.0f, (r.height - block) / 2)};
    t.underline = ctx.underline;
    t.underlineColor = ctx.underlineColor ? faded(*ctx.underlineColor, ctx.opacity) : t.color;
    list.add(std::move(t));
}

void TreePainter::paintImage(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    const ui::ViewData& d = node.data();
    Rect r = at(node.frame());
    if (d.systemImage) {
        list.symbol(r, d.imageName, foreground(node, ctx));
        return;
    }
    auto bitmap = ImageStore::shared().image(d.imageName);
    if (!bitmap || bitmap->empty() || r.width <= 0 || r.height <= 0) return;
    if (d.contentMode) {
        // Keep the aspect ratio: fit inside the frame, or fill it (the overflow is clipped).
        const float sx = r.width / static_cast<float>(bitmap->width),
                    sy = r.height / static_cast<float>(bitmap->height);
        const float s = *d.contentMode == ui::ContentMode::Fit ? std::min(sx, sy) : std::max(sx, sy);
        const float w = static_cast<float>(bitmap->width) * s, h = static_cast<float>(bitmap->height) * s;
        const Rect fitted{r.x + (r.width - w) / 2, r.y + (r.height - h) / 2, w, h};
        if (*d.contentMode == ui::ContentMode::Fill) list.pushClip(r);
        list.add(cmd::Image{fitted, d.imageName, Color{1, 1, 1, ctx.opacity}});
        if (*d.contentMode == ui::ContentMode::Fill) list.popClip();
        return;
    }
    list.add(cmd::Image{r, d.imageName, Color{1, 1, 1, ctx.opacity}});
}

void TreePainter::paintShape(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    const ui::Shape& s = node.data().shape;
    const ui::Rect frame = node.frame();
    const float radius = radiusOf(s, frame);
    Rect r = at(frame);
    if (s.kind == ui::Shape::Kind::Circle) {
        const float side = std::min(r.width, r.height);
        r = {r.x + (r.width - side) / 2, r.y + (r.height - side) / 2, side, side};
    }
    if (s.fill || !s.stroke) {
        const Color fill = s.fill ? faded(resolve(*s.fill, ctx.scheme), ctx.opacity) : foreground(node, ctx);
        list.fillRect(r, fill, radius);
    }
    if (s.stroke) {
        const auto w = static_cast<float>(s.lineWidth);
        // A centred stroke reaches half its width outside the outline.
        const Rect outline = s.strokeInside ? r : Rect{r.x - w / 2, r.y - w / 2, r.width + w, r.height + w};
        list.strokeRect(outline, faded(resolve(*s.stroke, ctx.scheme), ctx.opacity),
                        s.strokeInside ? radius : radius + w / 2, w);
    }
}

void TreePainter::paintButton(const ui::NodeRef& node, DisplayList& list, Context ctx) {
    const auto& env = node.environment();
    const ui::ViewData& d = node.data();
    if (d.role == ui::ButtonRole::Destructive) ctx.roleColor = Color::rgb(0xFF3B30);
    switch (env.buttonStyle) {
    case ui::ButtonStyle::Plain:
    case ui::ButtonStyle::Borderless:
        break;
    case ui::ButtonStyle::Link:
        if (!env.foregroundColor) ctx.roleColor = kAccent;
        break;
    case ui::ButtonStyle::Automatic:
    case ui::ButtonStyle::Bordered: {
        const Rect r = at(node.frame());
        const bool isDefault = d.role == ui::ButtonRole::None && node.keyboardShortcut() &&
                               *node.keyboardShortcut() == ui::KeyboardShortcut::defaultAction();
        list.fillRect(r, faded(isDefault ? kAccent : kBezel, ctx.opacity), 5);
        if (isDefault && !env.foregroundColor && !ctx.roleColor) ctx.roleColor = Color::rgb(0xFFFFFF);
        break;
    }
    }
    paintChildren(node, list, ctx);
}

void TreePainter::paintField(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    const auto& env = node.environment();
    const ui::Rect frame = node.frame();
    const Rect r = at(frame);
    const bool bordered = env.textFieldStyle != ui::TextFieldStyle::Plain;
    const bool focused = focused_ && focused_() == node;
    if (bordered) {
        list.fillRect(r, faded(Color::rgb(0xFFFFFF), ctx.opacity), 4);
        list.strokeRect(r, faded(focused ? kAccent : kSeparator, ctx.opacity), 4, focused ? 2 : 1);
    }
    const float inset = bordered ? 5 : 0;
    const std::string value = node.value();
    const bool secure = node.kind() == ViewKind::SecureField;
    std::string shown;
    if (secure) {
        for (size_t i = codepointCount(value); i > 0; --i)
            shown += "\u2022";
    } else {
        shown = value;
    }
    // The text stops short of a control laid over the field's end (a search field's clear button).
    const double end = std::min(frame.maxX() - inset, coveredFrom(node));
    const ui::Rect inner{frame.x + inset, frame.y, std::max(0.0, end - frame.x - inset), frame.height};
    const Font font = FontMetrics::fontFor(env.effectiveFont());
    const float textWidth = FontBook::shared().measure(shown, font).width;
    // One line, never wrapped: a value longer than the field shows its end while it is being typed,
    // its start otherwise.
    const Rect area = at(inner);
    const float x = focused && textWidth + 2 > area.width ? area.maxX() - 2 - textWidth : area.x;
    list.pushClip(area);
    if (shown.empty()) {
        paintText(node, node.placeholder(), inner, list, ctx, Color::rgb(0x3C3C43, 0.3f));
    } else {
        Context single = ctx;
        single.underline = false;
        cmd::Text t;
        t.text = shown;
        t.font = font;
        t.color = foreground(node, single);
        t.lineHeight = FontMetrics::lineHeightFor(font.size);
        t.origin = {x, r.y + std::max(0.0f, (r.height - t.lineHeight) / 2)};
        if (node.hasSelectedText())
            list.fillRect({x, t.origin.y, textWidth, t.lineHeight},
                          faded(kAccent.withAlpha(0.3f), ctx.opacity), 2);
        list.add(std::move(t));
    }
    if (focused && !node.hasSelectedText()) {
        const float h = FontMetrics::lineHeightFor(font.size);
        list.fillRect({x + textWidth + 1, r.y + (r.height - h) / 2, 1.5f, h}, faded(kAccent, ctx.opacity));
    }
    list.popClip();
}

double TreePainter::coveredFrom(const ui::NodeRef& field) {
    const ui::Rect f = field.frame();
    double from = f.maxX();
    // Up through the modifiers wrapped around the field, looking at what their overlays put on it.
    for (ui::NodeRef cur = field.parent(); cur; cur = cur.parent()) {
        const ViewKind k = cur.kind();
        if (k != ViewKind::Padding && k != ViewKind::Frame && k != ViewKind::Background &&
            k != ViewKind::Overlay && !ui::isTransparent(k))
            break;
        if (k != ViewKind::Overlay) continue;
        const auto parts = cur.children();
        if (parts.size() < 2) continue;
        for (const ui::NodeRef& control : parts[1].findAll(ui::Query::kind(ViewKind::Button))) {
            const ui::Rect c = control.frame();
            const bool overEnd = c.maxX() > f.maxX() - f.width / 2 && c.x < f.maxX() && c.maxY() > f.y &&
                                 c.y < f.maxY() && c.width > 0;
            if (overEnd) from = std::min(from, c.x);
        }
    }
    return from;
}

void TreePainter::paintToggle(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    const auto& env = node.environment();
    const bool on = node.isOn().value_or(false);
    const Rect r = at(node.frame());
    const auto children = node.children();
    if (env.toggleStyle != ui::ToggleStyle::Switch) {
        // A check box, the default style, sits at the leading edge, before the label.
        const Rect box{r.x + 1, r.y + (r.height - 14) / 2, 14, 14};
        list.fillRect(box, faded(on ? kAccent : Color::rgb(0xFFFFFF), ctx.opacity), 3);
        if (!on) list.strokeRect(box, faded(Color::rgb(0x8E8E93), ctx.opacity), 3, 1);
        if (on)
            list.symbol({box.x + 2, box.y + 2, 10, 10}, "checkmark",
                        faded(Color::rgb(0xFFFFFF), ctx.opacity));
    } else {
        // A switch at the trailing edge, after the label.
        const Rect track{r.maxX() - 34, r.y + (r.height - 20) / 2, 34, 20};
        list.fillRect(track, faded(on ? kAccent : Color::rgb(0xD1D1D6), ctx.opacity), 10);
        const float knobX = on ? track.maxX() - 18 : track.x + 2;
        list.add(cmd::FillEllipse{{knobX, track.y + 2, 16, 16}, faded(Color::rgb(0xFFFFFF), ctx.opacity)});
    }
    if (!env.labelsHidden) paintChildren(node, list, ctx);
}

void TreePainter::paintPicker(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    // A menu picker: its label, then a bezel with the chosen entry's text and a chevron; the entries
    // show when it opens.
    const auto& env = node.environment();
    ui::Rect bezel = node.frame();
    const std::string label = node.data().text.resolve(env.localize);
    if (!env.labelsHidden && !label.empty()) {
        const Font font = FontMetrics::fontFor(env.effectiveFont());
        const double width = std::min<double>(FontBook::shared().measure(label, font).width, bezel.width);
        paintText(node, label, {bezel.x, bezel.y, width, bezel.height}, list, ctx);
        // The same gap the layout leaves between the label and the bezel.
        const double gap = std::min(8.0, bezel.width - width);
        bezel = {bezel.x + width + gap, bezel.y, bezel.width - width - gap, bezel.height};
    }
    const Rect r = at(bezel);
    list.fillRect(r, faded(kBezel, ctx.opacity), 5);
    std::string chosen;
    const auto selection = node.selection();
    for (const ui::NodeRef& entry : node.children()) {
        if (selection && entry.tag() == selection) chosen = entry.text();
    }
    paintText(node, chosen, {bezel.x + 8, bezel.y, std::max(0.0, bezel.width - 30), bezel.height}, list, ctx);
    list.symbol({r.maxX() - 20, r.y + (r.height - 10) / 2, 10, 10}, "chevron.down", foreground(node, ctx));
}

void TreePainter::paintMap(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    auto state = ui::MapViewState::of(node);
    if (!state) return;
    const map::MapDrawList frame = state->drawList(node);
    // The picture of water, land and coasts is made again only when the view moved or resized.
    const map::MapViewport view = state->camera().viewport();
    // The pins are in the picture too: a change of any of them (a new selection, a new list) makes
    // it again.
    uint64_t pins = 1469598103934665603ull;
    auto mix = [&pins](double v) {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        pins = (pins ^ bits) * 1099511628211ull;
    };
    for (const map::PlacedMarker& m : frame.markers) {
        for (double v :
             {static_cast<double>(m.marker.id), m.anchor.x, m.anchor.y, static_cast<double>(m.marker.tint.r),
              static_cast<double>(m.marker.tint.g), static_cast<double>(m.marker.tint.b),
              m.selected ? 1.0 : 0.0, m.marker.symbolName.empty() ? 0.0 : 1.0})
            mix(v);
    }
    if (!mapPicture_.pixels || !(mapPicture_.rect == view.visibleRect()) ||
        !(mapPicture_.size == frame.viewSize) || mapPicture_.pins != pins) {
        mapPicture_ = {view.visibleRect(), frame.viewSize, pins, MapPainter::background(frame)};
    }
    MapPainter::paint(frame, at(node.frame()), list, ctx.opacity, mapPicture_.pixels);
    animating_ = animating_ || state->isAnimating();
}

void TreePainter::paintProgress(const ui::NodeRef& node, DisplayList& list, const Context& ctx) {
    const Rect r = at(node.frame());
    const auto children = node.children();
    if (auto progress = node.data().progress) {
        const Rect bar{r.x, r.y + r.height / 2 - 3, r.width, 6};
        list.fillRect(bar, faded(kBezel, ctx.opacity), 3);
        list.fillRect(
            {bar.x, bar.y, bar.width * static_cast<float>(std::clamp(*progress, 0.0, 1.0)), bar.height},
            faded(kAccent, ctx.opacity), 3);
    } else {
        // The spinner goes above the label when there is one.
        float bottom = r.maxY();
        if (!children.empty()) bottom = at(children.front().frame()).y - 4;
        const float side = std::clamp(std::min(r.width, bottom - r.y), 0.0f, 32.0f);
        list.add(cmd::Spinner{{r.x + (r.width - side) / 2, std::max(r.y, bottom - side), side, side}});
    }
    paintChildren(node, list, ctx);
}

} // namespace plat::render
