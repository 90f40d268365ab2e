#include "platform/ui/Views.h"

#include "platform/ui/ViewData.h"

#include <algorithm>

namespace plat::ui {

namespace {
AnyView container(ViewKind kind, std::vector<AnyView> children) {
    auto d = makeViewData(kind);
    d->children = std::move(children);
    return AnyView(std::move(d));
}
} // namespace

AnyView Text(TextValue text) {
    auto d = makeViewData(ViewKind::Text);
    d->text = std::move(text);
    return AnyView(std::move(d));
}

AnyView VerbatimText(std::string text) {
    return Text(TextValue::verbatim(std::move(text)));
}

AnyView Image(std::string assetName) {
    auto d = makeViewData(ViewKind::Image);
    d->imageName = std::move(assetName);
    return AnyView(std::move(d));
}

AnyView SystemImage(std::string symbolName) {
    auto d = makeViewData(ViewKind::Image);
    d->imageName = std::move(symbolName);
    d->systemImage = true;
    return AnyView(std::move(d));
}

AnyView Label(TextValue title, std::string systemImage) {
    auto d = makeViewData(ViewKind::Label);
    d->text = title;
    d->imageName = systemImage;
    d->systemImage = true;
    d->children = {SystemImage(std::move(systemImage)), Text(std::move(title))};
    return AnyView(std::move(d));
}

AnyView Spacer(std::optional<double> minLength) {
    auto d = makeViewData(ViewKind::Spacer);
    d->minLength = minLength;
    return AnyView(std::move(d));
}

AnyView Divider() {
    return AnyView(makeViewData(ViewKind::Divider));
}

AnyView ProgressView(TextValue label) {
    auto d = makeViewData(ViewKind::ProgressView);
    if (!label.empty()) d->children.push_back(Text(label));
    d->text = std::move(label);
    return AnyView(std::move(d));
}

AnyView ProgressBar(double fraction, TextValue label) {
    auto d = makeViewData(ViewKind::ProgressView);
    d->controls->progress = std::clamp(fraction, 0.0, 1.0);
    if (!label.empty()) d->children.push_back(Text(label));
    d->text = std::move(label);
    return AnyView(std::move(d));
}

AnyView MapPlaceholder() {
    return AnyView(makeViewData(ViewKind::MapView));
}

AnyView ColorView(Color color) {
    auto d = makeViewData(ViewKind::Color);
    d->geometry->color = color;
    return AnyView(std::move(d));
}

AnyView ShapeView(Shape shape) {
    auto d = makeViewData(ViewKind::Shape);
    d->geometry->shape = std::move(shape);
    return AnyView(std::move(d));
}

AnyView VStack(std::vector<AnyView> children) {
    return VStack(HAlign::Center, std::nullopt, std::move(children));
}
AnyView VStack(HAlign alignment, std::vector<AnyView> children) {
    return VStack(alignment, std::nullopt, std::move(children));
}
AnyView VStack(HAlign alignment, std::optional<double> spacing, std::vector<AnyView> children) {
    auto d = makeViewData(ViewKind::VStack);
    d->hAlign = alignment;
    d->spacing = spacing;
    d->children = std::move(children);
    return AnyView(std::move(d));
}

AnyView HStack(std::vector<AnyView> children) {
    return HStack(VAlign::Center, std::nullopt, std::move(children));
}
AnyView HStack(VAlign alignment, std::vector<AnyView> children) {
    return HStack(alignment, std::nullopt, std::move(children));
}
AnyView HStack(VAlign alignment, std::optional<double> spacing, std::vector<AnyView> children) {
    auto d = makeViewData(ViewKind::HStack);
    d->vAlign = alignment;
    d->spacing = spacing;
    d->children = std::move(children);
    return AnyView(std::move(d));
}

AnyView ZStack(std::vector<AnyView> children) {
    return ZStack(Alignment::center(), std::move(children));
}
AnyView ZStack(Alignment alignment, std::vector<AnyView> children) {
    auto d = makeViewData(ViewKind::ZStack);
    d->alignment = alignment;
    d->children = std::move(children);
    return AnyView(std::move(d));
}

AnyView Group(std::vector<AnyView> children) {
    return container(ViewKind::Group, std::move(children));
}

AnyView ScrollView(AnyView content, Axis axis, bool showsIndicators) {
    auto d = makeViewData(ViewKind::ScrollView);
    d->axis = axis;
    d->showsIndicators = showsIndicators;
    d->children = {std::move(content)};
    return AnyView(std::move(d));
}

AnyView List(std::vector<AnyView> rows) {
    return container(ViewKind::List, std::move(rows));
}

AnyView List(Binding<std::optional<Tag>> selection, std::vector<AnyView> rows) {
    auto d = makeViewData(ViewKind::List);
    d->controls->selectionBinding = std::move(selection);
    d->children = std::move(rows);
    return AnyView(std::move(d));
}

AnyView If(bool condition, AnyView then, AnyView otherwise) {
    return Branch(condition ? "then" : "else", condition ? std::move(then) : std::move(otherwise));
}

AnyView Branch(std::string key, AnyView content) {
    auto d = makeViewData(ViewKind::Branch);
    d->branch = std::move(key);
    d->children = {std::move(content)};
    return AnyView(std::move(d));
}

namespace detail {
AnyView makeForEach(std::vector<AnyView> rows) {
    return container(ViewKind::ForEach, std::move(rows));
}
} // namespace detail

} // namespace plat::ui
