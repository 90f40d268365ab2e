// The desktop's selections: the clipboard (CLIPBOARD) and the primary selection (PRIMARY) of the X
// server. They live on a connection of their own, served by a thread of their own, so another
// program asking for our text gets its answer while the application is busy or waits. Owning a
// selection offers its text as UTF8_STRING, STRING (Latin-1) and TEXT, and lists those in TARGETS;
// reading asks the owner for UTF8_STRING, then STRING, takes an incremental (INCR) transfer, and
// gives up on a text larger than kMaxBytes or an owner that does not answer in time.
//
// Any thread; made on first use and never destroyed.
#pragma once

#include "platform/dispatch/Clock.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace plat::render {

class DesktopSelections {
public:
    enum class Selection { clipboard, primary };
    // The largest text taken from another program.
    static constexpr std::size_t kMaxBytes = 4u << 20;

    // Null when no X server can be reached ($DISPLAY unset or refused).
    static DesktopSelections* shared();

    using Answer = std::function<void(std::optional<std::string>)>;
    static constexpr Duration kReadTimeout = std::chrono::milliseconds(1500);

    // Takes the selection over with `text` (UTF-8).
    void own(Selection which, const std::string& text);
    // Gives the selection up when this process owns it: no other program gets our text from it.
    void disown(Selection which);
    // The selection's text: ours at once when we own it, else the owner's, waiting at most
    // `timeout`. None: no owner, no text, too large, or no answer in time.
    std::optional<std::string> read(Selection which, Duration timeout = kReadTimeout);
    // The same without waiting: `done` gets the text, at once on this thread when we own the
    // selection, else on the selections' thread once the owner answered or `timeout` passed. One
    // request runs at a time: a new one drops the one before, whose `done` gets none.
    void request(Selection which, Duration timeout, Answer done);
    // Whether this process owns the selection now (another program taking it over ends that).
    bool owns(Selection which) const;

    // A property's bytes as UTF-8 text: UTF-8 kept when valid, Latin-1 (STRING) converted.
    // None for what is not text (a NUL byte, invalid UTF-8 declared as UTF-8).
    static std::optional<std::string> textFromProperty(std::string_view bytes, bool latin1);
    // UTF-8 as Latin-1 for STRING requests: what Latin-1 lacks becomes '?'.
    static std::string latin1FromText(std::string_view text);

    struct Impl;

private:
    explicit DesktopSelections(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

} // namespace plat::render
