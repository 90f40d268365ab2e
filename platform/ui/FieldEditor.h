// Editing the focused text field: typing and deleting at the end of its text (the caret stays
// there), select-all, cut, copy and paste through the pasteboards, and undo and redo of its edits.
// Select-all also offers the text as the desktop's selection, as a Linux user expects. A secure
// field never gives its text out: Cut, Copy and select-all leave the pasteboards alone (pasting into
// it works). The caller has checked that the field may take input. Main thread only.
#pragma once

#include "platform/ui/EditHistory.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ViewGraph.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace plat::ui::detail {

class FieldEditor {
public:
    FieldEditor(ViewGraph& graph, Node& field) : graph_(graph), field_(field) {}

    // Each returns whether the field took the command; a field without a text binding takes none.
    bool insert(std::string_view text, EditHistory::Edit kind = EditHistory::Edit::Typing);
    // Backspace (or, with `forward`, Delete): the character before the caret, or the selected text.
    bool deleteBackward(bool forward = false);
    bool selectAll();
    bool copy();
    bool cut();
    // Puts the board's text in at the caret, or in place of the selected text; an empty board,
    // or a text longer than kMaxPaste bytes, changes nothing.
    bool paste(PasteboardName from = PasteboardName::general);
    // More than any one-line field holds; a larger text would only make the window crawl.
    static constexpr std::size_t kMaxPaste = 64 * 1024;
    bool undo();
    bool redo();

    // Text from elsewhere as a one-line field holds it: line breaks at its ends go, those inside it
    // and other control characters become spaces.
    static std::string singleLine(std::string_view text);

private:
    bool secure() const;
    // Sets the field's text and records `before` for undo.
    void apply(const std::string& before, const std::string& after, EditHistory::Edit kind);
    // The field's history, started afresh when it belongs to another field or is out of date.
    EditHistory& history();
    // Undo (or, `forward`, redo) one edit.
    bool step(bool forward);

    ViewGraph& graph_;
    Node& field_;
};

} // namespace plat::ui::detail
