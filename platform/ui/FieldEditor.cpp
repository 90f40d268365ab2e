#include "platform/ui/FieldEditor.h"

#include "platform/log/OSLog.h"
#include "platform/ui/NodeRef.h"

#include <algorithm>
#include <memory>

namespace plat::ui::detail {

namespace {

bool isLineBreak(char c) {
    return c == '\n' || c == '\r';
}

bool continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

bool wordCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
           c == '_';
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

std::size_t FieldEditor::previousBoundary(std::string_view text, std::size_t at) {
    at = std::min(at, text.size());
    if (at == 0) return 0;
    do
        --at;
    while (at > 0 && continuation(text[at]));
    return at;
}

std::size_t FieldEditor::nextBoundary(std::string_view text, std::size_t at) {
    if (at >= text.size()) return text.size();
    do
        ++at;
    while (at < text.size() && continuation(text[at]));
    return at;
}

std::size_t FieldEditor::wordBefore(std::string_view text, std::size_t at) {
    at = std::min(at, text.size());
    while (at > 0 && !wordCharacter(text[at - 1]))
        --at;
    while (at > 0 && wordCharacter(text[at - 1]))
        --at;
    return at;
}

std::size_t FieldEditor::wordAfter(std::string_view text, std::size_t at) {
    while (at < text.size() && !wordCharacter(text[at]))
        ++at;
    while (at < text.size() && wordCharacter(text[at]))
        ++at;
    return at;
}

bool FieldEditor::concealed(const Node& field) {
    return field.data->kind == ViewKind::SecureField || field.data->attrs->privacySensitive;
}

std::string FieldEditor::text() const {
    return field_.data->controls->textBinding->get();
}

std::optional<FieldSelection> FieldEditor::selectionOf(const ViewGraph& graph, const Node& field) {
    if (graph.focused.lock().get() != &field || !field.data->controls->textBinding) return std::nullopt;
    const auto& record = graph.fieldSelection;
    const std::string text = field.data->controls->textBinding->get();
    if (record.field.lock().get() == &field && record.text == text) return record.range;
    return FieldSelection{text.size(), text.size()};
}

FieldSelection& FieldEditor::range() {
    const auto& record = graph_.fieldSelection;
    const std::string now = text();
    if (record.field.lock().get() != &field_ || record.text != now) remember(now, now.size());
    return graph_.fieldSelection.range;
}

void FieldEditor::remember(const std::string& text, std::size_t caret) {
    auto& record = graph_.fieldSelection;
    // The text stays where it stood for this field; another field's starts afresh.
    if (record.field.lock().get() != &field_) record.textScroll.reset();
    record.field = field_.shared_from_this();
    record.text = text;
    record.range = {caret, caret};
}

void FieldEditor::setRange(FieldSelection r) {
    range() = r;
    keepCaretInView();
    // A caret moved elsewhere starts a new edit: typing there is undone apart from what came before.
    history().last = EditHistory::Edit::None;
}

EditHistory& FieldEditor::history() {
    EditHistory& h = graph_.editHistory;
    const bool mine = h.field.lock().get() == &field_;
    if (!mine || h.current != text()) {
        h = EditHistory{};
        h.field = field_.shared_from_this();
        h.current = text();
    }
    return h;
}

void FieldEditor::apply(const std::string& before, const std::string& after, std::size_t caret,
                        EditHistory::Edit kind) {
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
    remember(after, caret);
    auto binding = *field_.data->controls->textBinding; // the node may be rebuilt while it runs
    try {
        binding.set(after);
    } catch (const std::exception& e) {
        OSLog("io.velmora.ui", "input").error(std::string("text change failed: ") + e.what());
    }
    keepCaretInView();
}

void FieldEditor::replaceSelection(std::string_view inserted, EditHistory::Edit kind) {
    const FieldSelection r = range();
    const std::string before = text();
    std::string after = before.substr(0, r.start());
    after += inserted;
    const std::size_t caret = after.size();
    after += before.substr(r.end());
    // Replacing a selection is an edit of its own, not part of a run of typing.
    if (!r.empty()) history().last = EditHistory::Edit::None;
    apply(before, after, caret, r.empty() ? kind : EditHistory::Edit::Other);
}

bool FieldEditor::insert(std::string_view inserted, EditHistory::Edit kind) {
    if (!field_.data->controls->textBinding) return false;
    replaceSelection(inserted, kind);
    return true;
}

bool FieldEditor::deleteBackward(bool forward) {
    if (!field_.data->controls->textBinding) return false;
    FieldSelection r = range();
    if (r.empty()) {
        const std::string now = text();
        const std::size_t other = forward ? nextBoundary(now, r.caret) : previousBoundary(now, r.caret);
        if (other == r.caret) return true; // nothing on that side
        const std::size_t from = std::min(other, r.caret);
        std::string after = now;
        after.erase(from, std::max(other, r.caret) - from);
        apply(now, after, from, EditHistory::Edit::Deleting);
        return true;
    }
    replaceSelection({}, EditHistory::Edit::Other);
    return true;
}

bool FieldEditor::move(Move how, bool extend) {
    if (!field_.data->controls->textBinding) return false;
    const std::string now = text();
    FieldSelection r = range();
    // Words are not told apart in a secure field, so nothing of its text shows through them.
    const bool secure = field_.data->kind == ViewKind::SecureField;
    if (secure && how == Move::WordLeft) how = Move::Home;
    if (secure && how == Move::WordRight) how = Move::End;
    const bool backwards = how == Move::Left || how == Move::WordLeft || how == Move::Home;
    std::size_t to = r.caret;
    if (!extend && !r.empty() && (how == Move::Left || how == Move::Right)) {
        // An arrow ends a selection at its own side rather than moving on.
        to = backwards ? r.start() : r.end();
    } else {
        switch (how) {
        case Move::Left:
            to = previousBoundary(now, r.caret);
            break;
        case Move::Right:
            to = nextBoundary(now, r.caret);
            break;
        case Move::WordLeft:
            to = wordBefore(now, r.caret);
            break;
        case Move::WordRight:
            to = wordAfter(now, r.caret);
            break;
        case Move::Home:
            to = 0;
            break;
        case Move::End:
            to = now.size();
            break;
        }
    }
    setRange({extend ? r.anchor : to, to});
    if (extend) offerSelection();
    return true;
}

double FieldEditor::shownWidth(const std::string& text, std::size_t bytes) const {
    const Font font = field_.env ? field_.env->effectiveFont() : Font();
    const bool secure = field_.data->kind == ViewKind::SecureField;
    return graph_.metrics().textWidth(fieldShownText(std::string_view(text).substr(0, bytes), secure), font);
}

TextFieldStyle FieldEditor::style() const {
    return field_.env ? field_.env->textFieldStyle : TextFieldStyle::Automatic;
}

double FieldEditor::textScroll() const {
    const auto selection = selectionOf(graph_, field_);
    if (!selection) return 0;
    const std::string now = text();
    // As wide as the painter shows it: up to a button laid over the field's end.
    const double room =
        fieldTextEnd(NodeRef(field_.shared_from_this()), style()) - field_.frame.x - fieldTextInset(style());
    const auto& record = graph_.fieldSelection;
    const std::optional<double> previous =
        record.field.lock().get() == &field_ ? record.textScroll : std::nullopt;
    return scrollShowingCaret(shownWidth(now, now.size()), shownWidth(now, selection->caret),
                              std::max(0.0, room), previous);
}

void FieldEditor::keepCaretInView() {
    graph_.fieldSelection.textScroll = textScroll();
}

std::size_t FieldEditor::boundaryAt(const std::string& now, double x, double scroll, bool under) const {
    auto width = [&](std::size_t bytes) { return shownWidth(now, bytes); };
    const double local = x - (field_.frame.x + fieldTextInset(style())) + scroll;
    // The first boundary at or past the point, then whichever of it and the one before is nearer.
    std::size_t lo = 0, hi = now.size();
    while (lo < hi) {
        std::size_t mid = lo + (hi - lo) / 2;
        while (mid > lo && continuation(now[mid]))
            --mid;
        if (width(mid) < local) {
            const std::size_t next = nextBoundary(now, mid);
            if (next <= lo) break;
            lo = next;
        } else {
            hi = mid;
        }
    }
    std::size_t at = lo;
    if (at > 0) {
        const std::size_t before = previousBoundary(now, at);
        if (under ? width(at) > local || at == now.size() : local - width(before) < width(at) - local)
            at = before;
    }
    return at;
}

bool FieldEditor::placeCaret(double x, double scroll, bool extend) {
    if (!field_.data->controls->textBinding) return false;
    const std::size_t at = boundaryAt(text(), x, scroll);
    // The text stays as it was shown when clicked. range() first makes the caret record this
    // field's (which starts its scroll afresh), so the scroll set here is not reset after it.
    const FieldSelection r = range();
    graph_.fieldSelection.textScroll = scroll;
    setRange({extend ? r.anchor : at, at});
    if (extend) offerSelection();
    return true;
}

FieldSelection FieldEditor::wordAround(std::string_view text, std::size_t at) {
    if (at >= text.size()) return {text.size(), text.size()};
    const bool word = wordCharacter(text[at]);
    std::size_t from = at, to = at;
    while (from > 0 && wordCharacter(text[from - 1]) == word)
        --from;
    while (to < text.size() && wordCharacter(text[to]) == word)
        ++to;
    return {from, to};
}

bool FieldEditor::selectWordAt(double x, double scroll) {
    if (!field_.data->controls->textBinding) return false;
    const std::string now = text();
    if (field_.data->kind == ViewKind::SecureField) return selectAll();
    const std::size_t at = boundaryAt(now, x, scroll, /*under=*/true);
    range();
    graph_.fieldSelection.textScroll = scroll;
    const FieldSelection word = wordAround(now, at);
    setRange(word);
    if (!word.empty()) offerSelection();
    return true;
}

int FieldEditor::sideBeyond(double x) const {
    if (x < field_.frame.x + fieldTextInset(style())) return -1;
    return x > fieldTextEnd(NodeRef(field_.shared_from_this()), style()) ? 1 : 0;
}

bool FieldEditor::dragTo(double x, const FieldDrag& drag, bool held) {
    if (!field_.data->controls->textBinding) return false;
    const int side = sideBeyond(x);
    if (held && side == 0) return false;
    const std::string now = text();
    const FieldSelection r = range();
    FieldSelection to = r;
    const bool secure = field_.data->kind == ViewKind::SecureField;
    if (drag.clickCount >= 3 || (drag.clickCount == 2 && secure)) {
        to = {0, now.size()};
    } else if (drag.clickCount == 2) {
        // The word pressed, as it stands in the text now (the program may have changed it since).
        auto clamp = [&](std::size_t at) {
            at = std::min(at, now.size());
            while (at > 0 && at < now.size() && continuation(now[at]))
                --at;
            return at;
        };
        const FieldSelection pressed{clamp(drag.pressed.start()), clamp(drag.pressed.end())};
        std::size_t under = boundaryAt(now, x, textScroll(), /*under=*/true);
        // Held beyond a side, the next word that way joins even where none is drawn under the pointer.
        if (held)
            under = side > 0 ? std::max(under, r.end()) : std::min(under, previousBoundary(now, r.start()));
        // The caret goes to the far end of the word under the pointer; the anchor stays at the far
        // end of the word pressed, which stays selected whichever way the pointer went.
        if (under < pressed.start())
            to = {pressed.end(), wordAround(now, under).start()};
        else if (under >= pressed.end())
            to = {pressed.start(), wordAround(now, under).end()};
        else
            to = pressed;
    } else {
        std::size_t at = boundaryAt(now, x, textScroll());
        if (held)
            at = side > 0 ? std::max(at, nextBoundary(now, r.caret))
                          : std::min(at, previousBoundary(now, r.caret));
        to = {r.anchor, at};
    }
    if (to == r) return true;
    setRange(to);
    offerSelection();
    return true;
}

bool FieldEditor::selectAll() {
    if (!field_.data->controls->textBinding) return false;
    setRange({0, text().size()});
    offerSelection();
    return true;
}

void FieldEditor::offerSelection() {
    const FieldSelection r = range();
    if (concealed(field_) || r.empty()) return;
    std::weak_ptr<Node> field = field_.shared_from_this();
    // Given up once the field is hidden, cleared or made to conceal its text.
    Pasteboard::selection().offer(text().substr(r.start(), r.end() - r.start()), [field] {
        auto node = field.lock();
        return node && node->alive && !concealed(*node) && node->data->controls->textBinding &&
               !node->data->controls->textBinding->get().empty();
    });
}

bool FieldEditor::copy() {
    if (!field_.data->controls->textBinding) return false;
    const FieldSelection r = range();
    if (!r.empty() && !concealed(field_))
        Pasteboard::general().setString(text().substr(r.start(), r.end() - r.start()));
    return true;
}

bool FieldEditor::cut() {
    if (!field_.data->controls->textBinding) return false;
    if (range().empty() || concealed(field_)) return true;
    copy();
    return deleteBackward();
}

bool FieldEditor::paste(PasteboardName from) {
    if (!field_.data->controls->textBinding) return false;
    std::weak_ptr<Node> field = field_.shared_from_this();
    auto finish = [field](std::optional<std::string> text) {
        auto node = field.lock();
        if (!text || text->size() > kMaxPaste || !node || !node->alive || !node->graph) return;
        ViewGraph& graph = *node->graph;
        if (graph.focused.lock() != node || !node->env || !node->env->isEnabled) return;
        const std::string line = singleLine(*text);
        if (!line.empty()) FieldEditor(graph, *node).insert(line, EditHistory::Edit::Other);
    };
    (from == PasteboardName::general ? Pasteboard::general() : Pasteboard::selection())
        .requestString(std::move(finish));
    return true;
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
    std::string restored = std::move(from.back());
    from.pop_back();
    const std::string left = h.current;
    to.push_back(left);
    h.current = restored;
    h.last = EditHistory::Edit::None;
    // The caret goes after what the step brought back: past the common start, before the common end.
    std::size_t prefix = 0;
    while (prefix < left.size() && prefix < restored.size() && left[prefix] == restored[prefix])
        ++prefix;
    std::size_t suffix = 0;
    while (suffix < left.size() - prefix && suffix < restored.size() - prefix &&
           left[left.size() - 1 - suffix] == restored[restored.size() - 1 - suffix])
        ++suffix;
    std::size_t caret = restored.size() - suffix;
    while (caret > 0 && caret < restored.size() && continuation(restored[caret]))
        --caret;
    remember(restored, caret);
    auto binding = *field_.data->controls->textBinding;
    try {
        binding.set(restored);
    } catch (const std::exception& e) {
        OSLog("io.velmora.ui", "input").error(std::string("undo failed: ") + e.what());
    }
    return true;
}

} // namespace plat::ui::detail
