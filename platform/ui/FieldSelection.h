// Where the caret of the focused text field stands and what of its text is selected, as byte
// offsets into its text, always at code point boundaries: the selection runs between `anchor` (where
// it began) and `caret` (where Shift with the arrows, or a drag, moves it); equal, nothing is
// selected.
#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace plat::ui {

struct FieldSelection {
    std::size_t anchor = 0;
    std::size_t caret = 0;

    std::size_t start() const { return std::min(anchor, caret); }
    std::size_t end() const { return std::max(anchor, caret); }
    bool empty() const { return anchor == caret; }
    bool operator==(const FieldSelection&) const = default;
};

namespace detail {

struct Node;

// The window's one record of it, kept for the focused field alone (no view pays for it). It holds
// for the field and the text it was made for: a field that has just taken the focus, or whose text
// the program changed, has its caret at the end of its text. Internal to the toolkit.
struct FocusedFieldSelection {
    std::weak_ptr<Node> field;
    std::string text;
    FieldSelection range;
    // How far the field's text was moved left when the caret last moved (see scrollShowingCaret in
    // FieldGeometry.h); none before the caret first moved in this field.
    std::optional<double> textScroll;
};

// A press of the pointer in the focused field, as a drag from it goes on: its place in a quick
// series and what it selected. From one press the drag stretches the selection by characters, from
// a double press by whole words, always keeping the word pressed; after a triple press the whole
// text stays selected.
struct FieldDrag {
    int clickCount = 1;
    FieldSelection pressed;
};

} // namespace detail

} // namespace plat::ui
