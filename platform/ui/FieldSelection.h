// Where the caret of the focused text field stands and what of its text is selected, as byte
// offsets into its text, always at code point boundaries: the selection runs between `anchor` (where
// it began) and `caret` (where Shift with the arrows moves it); equal, nothing is selected.
#pragma once

#include "platform/ui/Styles.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace plat::ui {

struct FieldSelection {
    std::size_t anchor = 0;
    std::size_t caret = 0;

    std::size_t start() const { return std::min(anchor, caret); }
    std::size_t end() const { return std::max(anchor, caret); }
    bool empty() const { return anchor == caret; }
    bool operator==(const FieldSelection&) const = default;
};

// How far in from a field's frame its text begins, in its style: a bordered field keeps its text
// clear of the border. The layout makes room for it on either side (LayoutLeaves.cpp).
inline double fieldTextInset(TextFieldStyle style) {
    return style == TextFieldStyle::Plain ? 0 : 8;
}

// The first `bytes` of a field's text as the field draws them: a secure field shows a bullet for
// each character. The painter and the clicks that place the caret measure the same text.
inline std::string fieldShownText(std::string_view text, bool secure) {
    if (!secure) return std::string(text);
    std::string bullets;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) bullets += "\u2022";
    return bullets;
}

// How far a field's text is moved left so that its caret shows: none while the text fits `width`;
// else `previous` (where the text stood before the caret moved) moved just far enough to bring the
// caret (`caretX` from the text's start) into view, and never so far that space opens after the
// text's end. Without a `previous` the caret stands at the field's end where it can. The painter and
// the clicks that place the caret agree on it.
inline double fieldTextScroll(double textWidth, double caretX, double width,
                              double previous = -std::numeric_limits<double>::infinity()) {
    // Two points after the text keep the caret drawn at its end.
    const double overflow = textWidth + 2 - width;
    if (overflow <= 0) return 0;
    const double shown = std::min(std::max(previous, caretX + 2 - width), caretX);
    return std::clamp(shown, 0.0, overflow);
}

class NodeRef;

// Where a field's text stops, in window points: its inset short of its end, and short of a control
// laid over its trailing part (a search field's clear button) where one is. The painter clips the
// text there and the clicks that place the caret scroll the text by the same room.
double fieldTextEnd(const NodeRef& field, TextFieldStyle style);

namespace detail {

struct Node;

// The window's one record of it, kept for the focused field alone (no view pays for it). It holds
// for the field and the text it was made for: a field that has just taken the focus, or whose text
// the program changed, has its caret at the end of its text. Internal to the toolkit.
struct FocusedFieldSelection {
    std::weak_ptr<Node> field;
    std::string text;
    FieldSelection range;
    // How far the text was moved left when the caret last moved (fieldTextScroll's `previous`).
    double scroll = -std::numeric_limits<double>::infinity();
};

} // namespace detail

} // namespace plat::ui
