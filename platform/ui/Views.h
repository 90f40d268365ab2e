// Factories for the content and container views: text, images, spacers, dividers, progress
// indicators, the map placeholder, colours and shapes, stacks, groups, lists, scroll views, and the
// conditional and repeated content that gives children their identity.
#pragma once

#include "platform/ui/AnyView.h"

#include <concepts>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace plat::ui {

// --- Content ---

// A localisation key (with optional "%@" arguments) shown through the environment's localiser.
AnyView Text(TextValue text);
// Shown exactly as given.
AnyView VerbatimText(std::string text);
// An image of the application's assets, at its natural size unless made resizable.
AnyView Image(std::string assetName);
// A named symbol image, sized by the font.
AnyView SystemImage(std::string symbolName);
// A title beside a symbol image.
AnyView Label(TextValue title, std::string systemImage);
// Flexible space along the enclosing stack's axis, at least `minLength` (none: the standard gap).
AnyView Spacer(std::optional<double> minLength = std::nullopt);
// A one-point line across the enclosing stack's axis.
AnyView Divider();
// An indeterminate spinner, with an optional label below it.
AnyView ProgressView(TextValue label = {});
// A bar filled to `fraction` (0...1, clamped).
AnyView ProgressBar(double fraction, TextValue label = {});
// The place of the world map; it fills the space it is offered. The map engine draws into it.
AnyView MapPlaceholder();
// A colour filling the space it is offered.
AnyView ColorView(Color color);
// A shape filling the space it is offered, painted as the shape says.
AnyView ShapeView(Shape shape);

// --- Containers ---

AnyView VStack(std::vector<AnyView> children);
AnyView VStack(HAlign alignment, std::vector<AnyView> children);
AnyView VStack(HAlign alignment, std::optional<double> spacing, std::vector<AnyView> children);
AnyView HStack(std::vector<AnyView> children);
AnyView HStack(VAlign alignment, std::vector<AnyView> children);
AnyView HStack(VAlign alignment, std::optional<double> spacing, std::vector<AnyView> children);
// Children layered back to front.
AnyView ZStack(std::vector<AnyView> children);
AnyView ZStack(Alignment alignment, std::vector<AnyView> children);
// Children that take their place in the parent's layout as if written there.
AnyView Group(std::vector<AnyView> children);
AnyView ScrollView(AnyView content, Axis axis = Axis::Vertical, bool showsIndicators = true);
// Rows stacked vertically in a scrolling area that fills the space it is offered.
AnyView List(std::vector<AnyView> rows);
// As above; clicking a row writes the row's tag into `selection`, and the row whose tag equals
// the selection shows selected.
AnyView List(Binding<std::optional<Tag>> selection, std::vector<AnyView> rows);
template <typename T> AnyView List(Binding<std::optional<T>> selection, std::vector<AnyView> rows) {
    Binding<std::optional<Tag>> tags(
        [selection]() -> std::optional<Tag> {
            auto v = selection.get();
            if (!v) return std::nullopt;
            return TagTraits<T>::toTag(*v);
        },
        [selection](const std::optional<Tag>& t) {
            if (!t) return selection.set(std::nullopt);
            if (auto v = TagTraits<T>::fromTag(*t)) selection.set(*v);
        });
    return List(std::move(tags), std::move(rows));
}

// --- Identity ---

// `then` while `condition` holds, otherwise `otherwise`. The branch is part of the identity, so
// switching branches gives the new content fresh state even when both are of the same kind.
AnyView If(bool condition, AnyView then, AnyView otherwise = {});
template <typename Then>
requires std::invocable<Then> AnyView If(bool condition, Then then) {
    return condition ? If(true, AnyView(then()), AnyView()) : If(false, AnyView(), AnyView());
}
template <typename Then, typename Else>
requires std::invocable<Then> && std::invocable<Else> AnyView If(bool condition, Then then, Else otherwise) {
    return condition ? If(true, AnyView(then()), AnyView()) : If(false, AnyView(), AnyView(otherwise()));
}
// Content of a named branch (one case of a switch): a different key means a fresh identity.
AnyView Branch(std::string key, AnyView content);

namespace detail {
template <typename V> std::string identityString(const V& v) {
    if constexpr (std::is_integral_v<V> || std::is_enum_v<V>)
        return std::to_string(static_cast<long long>(v));
    else
        return std::string(v);
}
AnyView makeForEach(std::vector<AnyView> rows);
} // namespace detail

// One view per element of `items`, each identified by `idOf(element)` (an integer or a text), so a
// row keeps its state when the list around it changes. Rows with equal ids are told apart by order.
template <typename Range, typename IdOf, typename Row>
AnyView ForEach(const Range& items, IdOf idOf, Row row) {
    std::vector<AnyView> rows;
    for (const auto& item : items)
        rows.push_back(AnyView(row(item)).id(detail::identityString(idOf(item))));
    return detail::makeForEach(std::move(rows));
}

} // namespace plat::ui
