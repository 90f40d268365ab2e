// What the focused text field's edits can be undone to: the texts before each edit, and those undone
// since. It belongs to one field and holds only while the field shows the text its last edit (or
// undo) left; a field changed any other way starts afresh. Internal to the toolkit.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace plat::ui::detail {

struct Node;

struct EditHistory {
    // A run of typing (or of deleting) is undone as one edit.
    enum class Edit { None, Typing, Deleting, Other };
    // Edits kept per field; the oldest go first.
    static constexpr std::size_t kLimit = 100;

    std::weak_ptr<Node> field;
    std::vector<std::string> undo; // the text before each edit, oldest first
    std::vector<std::string> redo; // the texts undone, latest last
    std::string current;           // what the last edit, undo or redo left
    Edit last = Edit::None;
};

} // namespace plat::ui::detail
