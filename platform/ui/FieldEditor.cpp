#include "platform/ui/FieldEditor.h"

#include "platform/log/OSLog.h"

namespace plat::ui::detail {

namespace {

// Removes the last UTF-8 code point.
void dropLast(std::string& s) {
    while (!s.empty()) {
        unsigned char c = static_cast<unsigned char>(s.back());
        s.pop_back();
        if ((c & 0xC0) != 0x80) break;
    }
}

bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}

} // namespace

std::string FieldEditor::singleLine(std::string_view text) {
    while (!text.empty() && isLineBreak(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isLineBreak(text.back()))
        text.remove_suffix(1);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        // A CR LF pair is one break.
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
    }
    return out;
}

bool FieldEditor::secure() const {
    return field_.data->kind == ViewKind::SecureField;
}

EditHistory& FieldEditor::history() {
    EditHistory& h = graph_.editHistory;
    const bool mine = h.field.lock().get() == &field_;
    if (!mine || h.current != field_.data->controls->textBinding->get()) {
        h = EditHistory{};
        h.field = field_.shared_from_this();
        h.current = field_.data->controls->textBinding->get();
    }
    return h;
}

void FieldEditor::apply(const std::string& before, const std::string& after, EditHistory::Edit kind) {
    EditHistory& h = history();
    // Typing goes on a run of typing (deleting on one of deleting) as one edit.
    const bool continues = kind != EditHistory::Edit::Other && kind == h.last;
    if (!continues) {
        h.undo.push_back(before);
        if (h.undo.size() > EditHistory::kLimit) h.undo.erase(h.undo.begin());
    }
    h.redo.clear();
    h.last = kind;
    h.current = after;
    auto binding = *field_.data->controls->textBinding; // the node may be rebuilt while it runs
    try {
        binding.set(after);
    } catch (const std::exception& e) {
        OSLog("io.velmora.ui", "input").error(std::string("text change failed: ") + e.what());
    }
}

bool FieldEditor::insert(std::string_view text, EditHistory::Edit kind) {
    if (!field_.data->controls->textBinding) return false;
    const std::string before = field_.data->controls->textBinding->get();
    const bool replace = graph_.focusedTextSelected;
    graph_.focusedTextSelected = false;
    apply(before, replace ? std::string(text) : before + std::string(text), kind);
    return true;
}

bool FieldEditor::deleteBackward(bool forward) {
    if (!field_.data->controls->textBinding) return false;
    const std::string before = field_.data->controls->textBinding->get();
    const bool all = graph_.focusedTextSelected;
    graph_.focusedTextSelected = false;
    // The caret stands at the end: Backspace takes the character before it, Delete has none after
    // it; either clears a selected text.
    if (!all && (forward || before.empty())) return true;
    std::string after = before;
    if (all)
        after.clear();
    else
        dropLast(after);
    apply(before, after, all ? EditHistory::Edit::Other : EditHistory::Edit::Deleting);
    return true;
}

bool FieldEditor::selectAll() {
    if (!field_.data->controls->textBinding) return false;
    graph_.focusedTextSelected = true;
    // A new selection ends the run of typing before it.
    history().last = EditHistory::Edit::None;
    const std::string text = field_.data->controls->textBinding->get();
    if (!secure() && !text.empty()) Pasteboard::selection().setString(text);
    return true;
}

bool FieldEditor::copy() {
    if (!field_.data->controls->textBinding) return false;
    const std::string text = field_.data->controls->textBinding->get();
    if (graph_.focusedTextSelected && !secure() && !text.empty()) Pasteboard::general().setString(text);
    return true;
}

bool FieldEditor::cut() {
    if (!field_.data->controls->textBinding) return false;
    if (!graph_.focusedTextSelected || secure()) return true;
    copy();
    return deleteBackward();
}

bool FieldEditor::paste(PasteboardName from) {
    if (!field_.data->controls->textBinding) return false;
    auto text =
        from == PasteboardName::general ? Pasteboard::general().string() : Pasteboard::selection().string();
    if (!text || text->size() > kMaxPaste) return true;
    const std::string line = singleLine(*text);
    if (line.empty()) return true;
    return insert(line, EditHistory::Edit::Other);
}

bool FieldEditor::undo() {
    return step(false);
}

bool FieldEditor::redo() {
    return step(true);
}

bool FieldEditor::step(bool forward) {
    if (!field_.data->controls->textBinding) return false;
    EditHistory& h = history();
    auto& from = forward ? h.redo : h.undo;
    auto& to = forward ? h.undo : h.redo;
    if (from.empty()) return true;
    std::string text = std::move(from.back());
    from.pop_back();
    to.push_back(h.current);
    h.current = text;
    h.last = EditHistory::Edit::None;
    graph_.focusedTextSelected = false;
    auto binding = *field_.data->controls->textBinding;
    try {
        binding.set(text);
    } catch (const std::exception& e) {
        OSLog("io.velmora.ui", "input").error(std::string("undo failed: ") + e.what());
    }
    return true;
}

} // namespace plat::ui::detail
