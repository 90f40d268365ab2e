// Sizes of the leaves and controls: text (wrapped at word boundaries), images, spacers and dividers,
// and the fixed chrome that buttons, fields, toggles, pickers, menus, lists and spinners add
// around their content.
#include "platform/ui/Layout.h"

#include "platform/ui/FieldGeometry.h"
#include "platform/ui/ScrollState.h"

#include <algorithm>
#include <cmath>

namespace plat::ui::detail {

namespace {

// Chrome around a button's label by style.
EdgeInsets buttonChrome(ButtonStyle s) {
    return (s == ButtonStyle::Automatic || s == ButtonStyle::Bordered) ? EdgeInsets{3, 8, 3, 8}
                                                                       : EdgeInsets{};
}
EdgeInsets fieldChrome(TextFieldStyle s) {
    // As far in on either side as the field draws its text.
    const double inset = fieldTextInset(s);
    return s == TextFieldStyle::Plain ? EdgeInsets{} : EdgeInsets{3, inset, 3, inset};
}
EdgeInsets menuChrome(const EnvironmentValues& env) {
    const double indicator = env.menuIndicatorHidden ? 0 : 14;
    return env.menuStyle == MenuStyle::BorderlessButton ? EdgeInsets{0, 0, 0, indicator}
                                                        : EdgeInsets{3, 8, 3, 8 + indicator};
}
Size toggleControl(ToggleStyle s) {
    return s == ToggleStyle::Switch ? Size{32, 18} : Size{14, 14};
}
double toggleGap(ToggleStyle s) {
    return s == ToggleStyle::Switch ? 8 : 6;
}

constexpr double kSpinner = 32;
constexpr double kBarHeight = 6;
constexpr double kBarIdealWidth = 160;
constexpr double kFieldIdealWidth = 100;
// A pop-up button's room beside its widest entry: 8 points before the text, then 10 before the
// 10-point arrow and 10 after it, so the longest entry never runs into the arrow.
constexpr double kPopupExtra = 38;
constexpr double kLabelGap = 8;
constexpr double kLabelIconGap = 6;
constexpr double kGreedyIdeal = 10;
const EdgeInsets kRowInsets{4, 8, 4, 8};

// The enclosing stack's axis, looking through transparent nodes; none outside a stack.
std::optional<Axis> stackAxis(const Node& n) {
    for (const Node* p = n.parent; p; p = p->parent) {
        ViewKind k = p->data->kind;
        if (k == ViewKind::HStack) return Axis::Horizontal;
        if (k == ViewKind::VStack || k == ViewKind::List) return Axis::Vertical;
        if (!isTransparent(k)) return std::nullopt;
    }
    return std::nullopt;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        std::size_t nl = text.find('\n', start);
        lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
        if (nl == std::string::npos) break;
        start = nl + 1;
    }
    return lines;
}

std::string shownText(const Node& n) {
    return n.data->text.resolve(n.env->localize);
}

} // namespace

Size LayoutEngine::textSize(const std::string& text, const Font& font, ProposedSize p,
                            bool singleLine) const {
    const double lh = metrics_.lineHeight(font);
    const bool wraps = p.width && std::isfinite(*p.width);
    if (singleLine) {
        // One line, as wide as offered at most: what does not fit is cut short when drawn.
        const double full = metrics_.textWidth(splitLines(text).front(), font);
        return {wraps ? std::min(full, std::max(0.0, *p.width)) : full, lh};
    }
    const double space = metrics_.textWidth(" ", font);
    double widest = 0;
    std::size_t lines = 0;
    for (const auto& line : splitLines(text)) {
        double full = metrics_.textWidth(line, font);
        if (!wraps || full <= *p.width) {
            widest = std::max(widest, full);
            ++lines;
            continue;
        }
        if (*p.width > 0) {
            if (auto drawn = metrics_.wrappedLineCount(line, font, *p.width)) {
                widest = std::max(widest, *p.width);
                lines += std::max<std::size_t>(1, *drawn);
                continue;
            }
        }
        // Greedy word wrap; a word longer than the line starts a line of its own and is broken
        // across as many as it needs. Offered no width at all (which asks for the least size), a
        // word stays whole: text is never narrower than its longest word unless it has to be.
        const double limit = *p.width;
        double current = -1;
        std::size_t pos = 0;
        while (pos <= line.size()) {
            std::size_t end = line.find(' ', pos);
            if (end == std::string::npos) end = line.size();
            double w = metrics_.textWidth(std::string_view(line).substr(pos, end - pos), font);
            if (current < 0) {
                current = w;
            } else if (current + space + w <= limit) {
                current += space + w;
            } else {
                widest = std::max(widest, current);
                ++lines;
                current = w;
            }
            if (limit > 0 && current > limit) {
                const double pieces = std::ceil(current / limit);
                lines += static_cast<std::size_t>(pieces) - 1;
                widest = std::max(widest, limit);
                current -= (pieces - 1) * limit;
            }
            pos = end + 1;
        }
        widest = std::max(widest, std::max(current, 0.0));
        ++lines;
    }
    if (p.height && std::isfinite(*p.height)) {
        auto fit = static_cast<std::size_t>(std::max(1.0, std::floor(*p.height / lh)));
        lines = std::min(lines, fit);
    }
    return {widest, lh * static_cast<double>(lines)};
}

Size LayoutEngine::measureLeaf(Node& node, ProposedSize p) {
    const ViewData& d = *node.data;
    const EnvironmentValues& env = *node.env;
    const Font font = env.effectiveFont();
    auto greedy = [&](double ideal) { return Size{p.width.value_or(ideal), p.height.value_or(ideal)}; };
    switch (d.kind) {
    case ViewKind::Text:
        // A label's title stays on one line.
        return textSize(shownText(node), font, p, node.parent && node.parent->data->kind == ViewKind::Label);
    case ViewKind::Image: {
        Size natural = metrics_.imageSize(d.imageName, d.systemImage, font);
        if (!d.resizable) return natural;
        if (!d.contentMode || natural.width <= 0 || natural.height <= 0)
            return {p.width.value_or(natural.width), p.height.value_or(natural.height)};
        if (!p.width && !p.height) return natural;
        double sx = p.width ? *p.width / natural.width : -1;
        double sy = p.height ? *p.height / natural.height : -1;
        double scale = sx < 0   ? sy
                       : sy < 0 ? sx
                                : (*d.contentMode == ContentMode::Fit ? std::min(sx, sy) : std::max(sx, sy));
        return {natural.width * scale, natural.height * scale};
    }
    case ViewKind::Label:
        return measureStack(layoutChildren(node), Axis::Horizontal, p, kLabelIconGap);
    case ViewKind::Spacer: {
        double least = d.minLength.value_or(defaultSpacing);
        auto axis = stackAxis(node);
        auto grow = [&](std::optional<double> offered) {
            return offered ? std::max(least, *offered) : least;
        };
        if (axis == Axis::Horizontal) return {grow(p.width), 0};
        if (axis == Axis::Vertical) return {0, grow(p.height)};
        return {grow(p.width), grow(p.height)};
    }
    case ViewKind::Divider:
        if (stackAxis(node) == Axis::Horizontal) return {1, p.height.value_or(0)};
        return {p.width.value_or(0), 1};
    case ViewKind::ProgressView: {
        Size control = d.controls->progress ? Size{p.width.value_or(kBarIdealWidth), kBarHeight}
                                            : Size{kSpinner, kSpinner};
        auto items = layoutChildren(node);
        if (items.empty()) return control;
        Size label = measure(*items[0], ProposedSize{p.width, std::nullopt});
        return {std::max(control.width, label.width), control.height + kLabelGap + label.height};
    }
    case ViewKind::MapView:
    case ViewKind::Color:
    case ViewKind::Shape:
        return greedy(kGreedyIdeal);
    case ViewKind::List: {
        // A list fills what it is offered; unoffered, it is as big as its rows.
        std::optional<double> rowWidth;
        if (p.width) rowWidth = std::max(0.0, *p.width - kRowInsets.horizontal());
        double width = 0, height = 0;
        for (Node* row : layoutChildren(node)) {
            Size s = measure(*row, {rowWidth, std::nullopt});
            width = std::max(width, s.width + kRowInsets.horizontal());
            height += s.height + kRowInsets.vertical();
        }
        return {p.width.value_or(width), p.height.value_or(height)};
    }
    case ViewKind::ScrollView: {
        const bool vertical = d.axis == Axis::Vertical;
        Size content = measureContent(layoutChildren(node), vertical ? ProposedSize{p.width, std::nullopt}
                                                                     : ProposedSize{std::nullopt, p.height});
        return {p.width.value_or(content.width), p.height.value_or(content.height)};
    }
    case ViewKind::Button: {
        // Never less than its label's own size, so the title is never cut short; a label that can
        // grow (a stack with a spacer) takes what the button is offered beyond that.
        EdgeInsets e = buttonChrome(env.buttonStyle);
        const auto items = layoutChildren(node);
        const Size ideal = measureContent(items, {});
        const Size offered =
            measureContent(items, {inset(p.width, e.horizontal()), inset(p.height, e.vertical())});
        return {std::max(ideal.width, offered.width) + e.horizontal(),
                std::max(ideal.height, offered.height) + e.vertical()};
    }
    case ViewKind::TextField:
    case ViewKind::SecureField: {
        EdgeInsets e = fieldChrome(env.textFieldStyle);
        double h = metrics_.lineHeight(font) + e.vertical();
        if (p.width) return {*p.width, h};
        std::string value = d.controls->textBinding ? d.controls->textBinding->get() : std::string();
        double w = std::max(metrics_.textWidth(value, font), metrics_.textWidth(shownText(node), font));
        return {std::max(kFieldIdealWidth, w + e.horizontal()), h};
    }
    case ViewKind::Toggle: {
        Size control = toggleControl(env.toggleStyle);
        auto items = layoutChildren(node);
        if (env.labelsHidden || items.empty()) return control;
        Size label = measureContent(items, {});
        return {label.width + toggleGap(env.toggleStyle) + control.width,
                std::max(label.height, control.height)};
    }
    case ViewKind::Picker: {
        double widest = 0;
        for (Node* entry : layoutChildren(node))
            widest = std::max(widest, measure(*entry, {}).width);
        Size popup{widest + kPopupExtra, metrics_.lineHeight(font) + 6};
        std::string label = shownText(node);
        if (env.labelsHidden || label.empty()) return popup;
        return {metrics_.textWidth(label, font) + kLabelGap + popup.width, popup.height};
    }
    case ViewKind::Menu: {
        if (node.children.empty()) return {};
        EdgeInsets e = menuChrome(env);
        std::vector<Node*> label = {node.children[0].get()};
        if (isTransparent(node.children[0]->data->kind)) label = layoutChildren(*node.children[0]);
        // Offered less than it would like, the label gets what there is (its title is cut short)
        // rather than push its neighbours out of the window.
        Size s = measureContent(label, {inset(p.width, e.horizontal()), std::nullopt});
        return {s.width + e.horizontal(), s.height + e.vertical()};
    }
    default:
        return {};
    }
}

void LayoutEngine::placeLeaf(Node& node, Rect bounds) {
    const ViewData& d = *node.data;
    const EnvironmentValues& env = *node.env;
    switch (d.kind) {
    case ViewKind::Label:
        placeStack(layoutChildren(node), Axis::Horizontal, bounds, kLabelIconGap, Alignment::center());
        return;
    case ViewKind::ProgressView: {
        auto items = layoutChildren(node);
        if (items.empty()) return;
        double control = d.controls->progress ? kBarHeight : kSpinner;
        Size label = measure(*items[0], ProposedSize{bounds.width, std::nullopt});
        place(*items[0], aligned({bounds.x, bounds.y + control + kLabelGap, bounds.width, label.height},
                                 label, Alignment::center()));
        return;
    }
    case ViewKind::List: {
        const auto rows = layoutChildren(node);
        const double rowWidth = std::max(0.0, bounds.width - kRowInsets.horizontal());
        std::vector<double> heights;
        heights.reserve(rows.size());
        double content = 0;
        for (Node* row : rows) {
            heights.push_back(measure(*row, {rowWidth, std::nullopt}).height);
            content += heights.back() + kRowInsets.vertical();
        }
        // Rows start at the scrolled-to place; those outside the list are clipped by its frame.
        auto scroll = ScrollState::of(node);
        if (d.attrs->scrollResetKey) scroll->follow(*d.attrs->scrollResetKey);
        scroll->setExtent(content, bounds.height);
        double y = bounds.y - scroll->offset();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // A row's content starts at the leading edge, as wide as it is; the row itself still
            // spans the list, so its highlight and its clicks take the whole width.
            const double width = std::min(rowWidth, measure(*rows[i], {rowWidth, std::nullopt}).width);
            place(*rows[i], {bounds.x + kRowInsets.leading, y + kRowInsets.top, width, heights[i]});
            Node* spanning = rows[i];
            while (isTransparent(spanning->data->kind) && spanning->children.size() == 1)
                spanning = spanning->children[0].get();
            const ViewKind k = spanning->data->kind;
            if (k == ViewKind::VStack || k == ViewKind::HStack || k == ViewKind::ZStack)
                spanning->frame.width = std::max(spanning->frame.width, rowWidth);
            else
                place(*rows[i], {bounds.x + kRowInsets.leading, y + kRowInsets.top, rowWidth, heights[i]});
            y += heights[i] + kRowInsets.vertical();
        }
        return;
    }
    case ViewKind::ScrollView: {
        const bool vertical = d.axis == Axis::Vertical;
        auto items = layoutChildren(node);
        Size content = measureContent(items, vertical ? ProposedSize{bounds.width, std::nullopt}
                                                      : ProposedSize{std::nullopt, bounds.height});
        // Shifted by the scrolled distance; content outside the view is clipped by its frame.
        auto scroll = ScrollState::of(node);
        if (d.attrs->scrollResetKey) scroll->follow(*d.attrs->scrollResetKey);
        scroll->setExtent(vertical ? content.height : content.width, vertical ? bounds.height : bounds.width);
        const double shift = scroll->offset();
        Rect area{vertical ? bounds.x : bounds.x - shift, vertical ? bounds.y - shift : bounds.y,
                  vertical ? bounds.width : content.width, vertical ? content.height : bounds.height};
        if (items.size() == 1)
            place(*items[0], aligned(area, content, vertical ? Alignment::top() : Alignment::leading()));
        else
            placeStack(items, Axis::Vertical, area, defaultSpacing, Alignment::center());
        return;
    }
    case ViewKind::Button:
        placeContent(layoutChildren(node), inset(bounds, buttonChrome(env.buttonStyle)), Alignment::center());
        return;
    case ViewKind::Toggle: {
        auto items = layoutChildren(node);
        if (env.labelsHidden || items.empty()) return;
        Size label = measureContent(items, {});
        // A switch follows its label; a check box (the default style) goes before it.
        const ToggleStyle style = env.toggleStyle;
        const double lead = style == ToggleStyle::Switch ? 0 : toggleControl(style).width + toggleGap(style);
        placeContent(
            items,
            aligned({bounds.x + lead, bounds.y, label.width, bounds.height}, label, Alignment::leading()),
            Alignment::center());
        return;
    }
    case ViewKind::Menu: {
        if (node.children.empty()) return;
        Node& label = *node.children[0];
        std::vector<Node*> items = {&label};
        if (isTransparent(label.data->kind)) items = layoutChildren(label);
        placeContent(items, inset(bounds, menuChrome(env)), Alignment::center());
        return;
    }
    default:
        return;
    }
}

} // namespace plat::ui::detail
