// Editing the focused text field as a one-line field is edited: a caret that the arrows, Home and
// End, a click and (with the command key) the arrows by word move, a selection that Shift extends
// and that typing, deleting and pasting replace, select-all, cut, copy and paste through the
// pasteboards, and undo and redo of its edits. A selection in a plain field is also offered as the
// desktop's selection, as a Linux user expects. A concealed field (a secure one, or one marked
// privacy-sensitive such as a revealed password) never gives its text out: Cut, Copy and selecting
// leave the pasteboards alone (pasting into it works). The caller has checked that the field may take
// input. Main thread only.
#pragma once

#include "platform/ui/EditHistory.h"
#include "platform/ui/FieldGeometry.h"
#include "platform/ui/FieldSelection.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ViewGraph.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace plat::ui::detail {

class FieldEditor {
public:
    FieldEditor(ViewGraph& graph, Node& field) : graph_(graph), field_(field) {}

    enum class Move { Left, Right, WordLeft, WordRight, Home, End };

    // Each returns whether the field took the command; a field without a text binding takes none.
    // Typing goes in at the caret, or in place of the selected text.
    bool insert(std::string_view text, EditHistory::Edit kind = EditHistory::Edit::Typing);
    // Backspace (or, with `forward`, Delete): the character before (after) the caret, or the
    // selected text.
    bool deleteBackward(bool forward = false);
    // Moves the caret; with `extend` the selection stretches from its anchor to the new place.
    // Without, a selection collapses to the end the arrow points at.
    bool move(Move how, bool extend);
    // How far the field's text is moved left as it is drawn now (its text scroll): a field without
    // the focus shows the start of its text, the focused one keeps its caret in view, moving its
    // text no more than that takes (scrollShowingCaret).
    double textScroll() const;
    // The caret goes to the character boundary nearest `x` (in window points), over the text as it
    // was drawn moved left by `scroll` (textScroll() from before the press focused the field). With
    // `extend` (Shift held) the selection stretches from its anchor to there instead.
    bool placeCaret(double x, double scroll, bool extend = false);
    // Selects the word drawn under `x` (or the run of spaces and punctuation there); the whole text
    // of a secure field, whose words are not told apart.
    bool selectWordAt(double x, double scroll);
    // The pointer dragged on to `x` from the press `drag` describes, over the text as it is drawn
    // now: the selection stretches to the boundary nearest `x`, or to the far end of the word drawn
    // under it after a double press (a secure field's whole text, as its words are not told apart),
    // and a pointer past the field's side brings the text beyond it into view. With `held` (the
    // pointer held still beyond the side, a timer's step) the selection takes at least one more
    // character or word that way, so the text scrolls on; false when `x` is beyond neither side.
    bool dragTo(double x, const FieldDrag& drag, bool held = false);
    // Which side of the field's text `x` (in window points) lies beyond: -1 before its start, 1 past
    // its end (where a control laid over the field begins), 0 neither.
    int sideBeyond(double x) const;
    bool selectAll();
    bool copy();
    bool cut();
    // Puts the board's text in at the caret, or in place of the selected text, once the board's
    // owner has answered (at once when the text is at hand): a field that meanwhile lost the focus
    // or left the window takes nothing. An empty board, no answer in time, or a text longer than
    // kMaxPaste bytes changes nothing.
    bool paste(PasteboardName from = PasteboardName::general);
    // More than any one-line field holds; a larger text would only make the window crawl.
    static constexpr std::size_t kMaxPaste = 64 * 1024;
    bool undo();
    bool redo();

    // The field's caret and selection in `graph`; none unless it has the focus there.
    static std::optional<FieldSelection> selectionOf(const ViewGraph& graph, const Node& field);
    // Gives its text out to no pasteboard: secure, or marked privacy-sensitive.
    static bool concealed(const Node& field);
    // Text from elsewhere as a one-line field holds it: line breaks at its ends go, those inside it
    // and other control characters become spaces.
    static std::string singleLine(std::string_view text);
    // The start of the code point before `at`, and the end of the one from `at`.
    static std::size_t previousBoundary(std::string_view text, std::size_t at);
    static std::size_t nextBoundary(std::string_view text, std::size_t at);
    // Where Ctrl+Left and Ctrl+Right go from `at`: the start of the word before, the end of the
    // word after (letters, digits and any non-ASCII character make words).
    static std::size_t wordBefore(std::string_view text, std::size_t at);
    static std::size_t wordAfter(std::string_view text, std::size_t at);

private:
    std::string text() const;
    // The width of the first `bytes` of `text` as the field draws them.
    double shownWidth(const std::string& text, std::size_t bytes) const;
    TextFieldStyle style() const;
    // The run of word characters (or of others) that the character at `at` belongs to; empty at
    // the text's end. Continuation bytes count as word characters, as their lead byte does.
    static FieldSelection wordAround(std::string_view text, std::size_t at);
    // The character boundary nearest `x`, over the text drawn moved left by `scroll`; with
    // `under`, the start of the character drawn under `x` (the last one past the text's end).
    std::size_t boundaryAt(const std::string& text, double x, double scroll, bool under = false) const;
    // The record of the caret, made afresh for this field and its text where it was another's.
    FieldSelection& range();
    // Records the field's text as `text` with the caret at `caret`, nothing selected.
    void remember(const std::string& text, std::size_t caret);
    void setRange(FieldSelection r);
    // Records where the text stands now, after the caret moved, for the next move to start from.
    void keepCaretInView();
    // Sets the field's text and records `before` for undo; the caret goes to `caret`.
    void apply(const std::string& before, const std::string& after, std::size_t caret,
               EditHistory::Edit kind);
    // Replaces the selected text (or nothing, at the caret) with `text`.
    void replaceSelection(std::string_view text, EditHistory::Edit kind);
    // The field's history, started afresh when it belongs to another field or is out of date.
    EditHistory& history();
    // Undo (or, `forward`, redo) one edit.
    bool step(bool forward);
    // Offers the selected text as the desktop's selection, for as long as the field shows it.
    void offerSelection();

    ViewGraph& graph_;
    Node& field_;
};

} // namespace plat::ui::detail
