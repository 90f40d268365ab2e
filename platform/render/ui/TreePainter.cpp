#include "platform/render/ui/TreePainter.h"

#include "platform/map/FlagLookup.h"
#include "platform/render/ImageStore.h"
#include "platform/render/ui/ControlPainting.h"
#include "platform/render/ui/LeafPainting.h"
#include "platform/render/ui/MapPainter.h"
#include "platform/render/ui/MenuPopupPainting.h"
#include "platform/render/ui/Palette.h"
#include "platform/ui/MapViewState.h"
#include "platform/ui/ViewData.h"

#include <cstdint>
#include <cstring>
#include <mutex>

namespace plat::render {

namespace {

using ui::ViewKind;

bool isControl(ViewKind k) {
    return k == ViewKind::Button || k == ViewKind::TextField || k == ViewKind::SecureField ||
           k == ViewKind::Toggle || k == ViewKind::Picker || k == ViewKind::Menu;
}

// What a focused control's ring goes around: the control, or the shape that clips it from outside
// when only padding, frames and backgrounds lie between them (a plain button on a rounded blue
// background), whose clip would otherwise hide the ring.
ui::NodeRef ringTarget(const ui::NodeRef& control) {
    for (ui::NodeRef cur = control;;) {
        if (cur.data().attrs->clipShape) return cur;
        const ui::NodeRef parent = cur.parent();
        const ViewKind k = parent ? parent.kind() : ViewKind::Empty;
        if ((k != ViewKind::Padding && k != ViewKind::Frame && k != ViewKind::Background &&
             k != ViewKind::Overlay) ||
            !(parent.children().front() == cur))
            return control;
        cur = parent;
    }
}

} // namespace

TreePainter::TreePainter() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Rows draw flags 50 points wide at most: twice that keeps them sharp on any scale the
        // window may grow to, a tenth of the set's 320 by 240.
        ImageStore::shared().setFallback(
            [](const std::string& name) { return map::FlagLookup::shared().pathFor(name); }, 100, 75);
    });
}

void TreePainter::render(Size contentSize, const std::vector<ui::RenderLayer>& layers) {
    window_ = DisplayList{};
    animating_ = false;
    sheets_.clear();
    (void)contentSize;
    for (const ui::RenderLayer& layer : layers) {
        switch (layer.kind) {
        case ui::RenderLayer::Kind::Content:
            paintLayer(layer, window_, {});
            break;
        case ui::RenderLayer::Kind::Sheet: {
            SheetList sheet;
            sheet.frame = layer.frame;
            sheet.list.background = palette::panel.withAlpha(1);
            paintLayer(layer, sheet.list, layer.frame.origin());
            sheets_.push_back(std::move(sheet));
            break;
        }
        case ui::RenderLayer::Kind::Alert: {
            // Modal in its window: dim the rest, then the alert's own panel.
            DisplayList& list = sheets_.empty() ? window_ : sheets_.back().list;
            PaintContext ctx;
            if (!sheets_.empty()) ctx.origin = sheets_.back().frame.origin();
            list.fillRect({-10000, -10000, 20000, 20000}, RGBA{0, 0, 0, 0.25f});
            list.fillRect(ctx.inWindow(layer.frame), palette::panel, 12);
            list.strokeRect(ctx.inWindow(layer.frame), palette::separator, 12, 1);
            paintLayer(layer, list, ctx.origin);
            break;
        }
        }
    }
    paintPopup(layers);
}

void TreePainter::paintPopup(const std::vector<ui::RenderLayer>& layers) {
    if (!popup_ || !popup_->owner.isAlive() || popup_->rows.empty()) return;
    ui::NodeRef root = popup_->owner;
    while (root.parent())
        root = root.parent();
    // The list of the window or sheet window that shows the control, and where its origin lies.
    DisplayList* list = nullptr;
    Rect bounds;
    PaintContext ctx;
    size_t sheet = 0;
    for (const ui::RenderLayer& layer : layers) {
        const bool isSheet = layer.kind == ui::RenderLayer::Kind::Sheet;
        if (layer.root == root) {
            if (layer.kind == ui::RenderLayer::Kind::Content) {
                list = &window_;
                ctx.origin = {};
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
                ctx.origin = bounds.origin();
            }
        }
        if (isSheet) ++sheet;
    }
    if (!list) return;
    ctx.scheme = popup_->owner.environment().colorScheme;
    paintMenuPopup(*popup_, bounds, *list, ctx);
}

void TreePainter::paintLayer(const ui::RenderLayer& layer, DisplayList& list, Point origin) {
    PaintContext ctx;
    ctx.origin = origin;
    if (layer.root) paint(layer.root, list, ctx);
}

void TreePainter::paintVisible(const ui::NodeRef& node, const Rect& view, DisplayList& list,
                               const PaintContext& ctx) {
    const Rect f = node.frame();
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

void TreePainter::paintChildren(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
    for (const ui::NodeRef& child : node.children())
        paint(child, list, ctx);
}

void TreePainter::paint(const ui::NodeRef& node, DisplayList& list, PaintContext ctx) {
    if (!node) return;
    const ui::ViewData& d = node.data();
    const Rect frame = node.frame();
    ctx.scheme = node.environment().colorScheme;
    ctx.opacity *= static_cast<float>(d.attrs->opacity);
    if (isControl(d.kind) && !node.isEnabled()) ctx.opacity *= 0.45f;
    if (d.attrs->underline) {
        ctx.underline = true;
        if (d.attrs->underlineColor)
            ctx.underlineColor = palette::resolve(*d.attrs->underlineColor, ctx.scheme);
    }
    // A selected list row, also one made by repeated content (whose node sits between the list and
    // its rows), is highlighted behind its content; the nodes inside it count as selected too.
    if (node.isSelected() && !node.parent().isSelected())
        list.fillRect(ctx.inWindow(frame), palette::faded(palette::accent.withAlpha(0.18f), ctx.opacity), 4);
    const bool clipped = d.attrs->clipShape.has_value();
    if (clipped) {
        list.pushClip(ctx.inWindow(frame));
        ctx.clipRadius = cornerRadius(*d.attrs->clipShape, frame);
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
            const double side = frame.height;
            if (!d.imageName.empty())
                list.symbol(ctx.inWindow({frame.x, frame.y, frame.height, frame.height}), d.imageName,
                            ctx.foreground(node));
            paintText(node, node.text(),
                      {frame.x + side + 6, frame.y, std::max(0.0, frame.width - side - 6), frame.height},
                      list, ctx);
        } else {
            paintChildren(node, list, ctx);
        }
        break;
    case ViewKind::Divider:
        paintDivider(node, list, ctx);
        break;
    case ViewKind::ProgressView:
        paintProgress(node, list, ctx);
        paintChildren(node, list, ctx);
        break;
    case ViewKind::MapView:
        paintMap(node, list, ctx);
        break;
    case ViewKind::Color:
        paintColor(node, list, ctx);
        break;
    case ViewKind::Shape:
        paintShape(node, list, ctx);
        break;
    case ViewKind::Button:
        paintChildren(node, list, paintButton(node, list, ctx));
        break;
    case ViewKind::TextField:
    case ViewKind::SecureField:
        paintField(node, list, ctx, focused_ && focused_() == node);
        break;
    case ViewKind::Toggle:
        paintToggle(node, list, ctx);
        if (!node.environment().labelsHidden) paintChildren(node, list, ctx);
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
        list.pushClip(ctx.inWindow(frame));
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
    paintBorder(node, list, ctx);
    if (clipped) list.popClip();
    // The focus ring: around the focused control (a field shows its caret instead), and around the
    // row a focused list's arrow keys stand on.
    if (frame.width <= 0 || frame.height <= 0) return;
    if (node.isKeyboardRow()) {
        // A row's ring stays inside it, where the list's clip keeps it.
        const Rect r = ctx.inWindow(frame);
        list.strokeRect({r.x + 1, r.y + 1, r.width - 2, r.height - 2},
                        palette::faded(palette::accent.withAlpha(0.7f), ctx.opacity), 4, 2.5);
        return;
    }
    const ui::NodeRef focused = focused_ ? focused_() : ui::NodeRef();
    const ViewKind k = focused ? focused.kind() : ViewKind::Empty;
    if (k == ViewKind::Empty || k == ViewKind::TextField || k == ViewKind::SecureField || k == ViewKind::List)
        return;
    if (ringTarget(focused) == node)
        paintFocusRing(frame, clipped ? cornerRadius(*d.attrs->clipShape, frame) : 2, list, ctx);
}

void TreePainter::paintMap(const ui::NodeRef& node, DisplayList& list, const PaintContext& ctx) {
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
    MapPainter::paint(frame, ctx.inWindow(node.frame()), list, ctx.opacity, mapPicture_.pixels);
    animating_ = animating_ || state->isAnimating();
}

} // namespace plat::render
