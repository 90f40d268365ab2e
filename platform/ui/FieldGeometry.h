// Where a one-line text field draws its text: how far in from its frame the text begins and where
// it stops, what it shows (bullets for a secure field), and how far the text is moved left to keep
// the caret in view. The painter and the pointer's presses in a field measure by the same rules,
// so the caret lands under the pointer.
#pragma once

#include "platform/ui/NodeRef.h"
#include "platform/ui/Styles.h"

#include <optional>
#include <string>
#include <string_view>

namespace plat::ui {

// How far in from a field's frame its text begins, in its style: a bordered field keeps its text
// clear of the border. The layout makes room for it on either side (LayoutLeaves.cpp).
inline double fieldTextInset(TextFieldStyle style) {
    return style == TextFieldStyle::Plain ? 0 : 8;
}

// Where a field's text stops, in window points: its inset short of its end, and short of a control
// laid over its trailing part (a search field's clear button) where one is.
double fieldTextEnd(const NodeRef& field, TextFieldStyle style);

// `text` as the field draws it: a secure field shows a bullet for each character.
std::string fieldShownText(std::string_view text, bool secure);

// How far a field's text is to be moved left (its text scroll, see NodeRef::fieldTextScroll) so
// that its caret shows: none while the text fits `width`; else the `previous` scroll (where the
// text stood before the caret moved) moved just far enough to bring the caret (`caretX` from the
// text's start) into view, and never so far that space opens after the text's end. Without a
// previous scroll the caret stands at the field's end where it can.
double scrollShowingCaret(double textWidth, double caretX, double width, std::optional<double> previous);

} // namespace plat::ui
