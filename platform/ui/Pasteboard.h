// The desktop's clipboards as text fields use them: the general pasteboard (what Cut and Copy put
// there and Paste takes) and the selection pasteboard (the text selected last, which a middle click
// pastes). Where the strings live is the backend's business: the window layer installs the
// desktop's when a display is up; until then, and headless, they stay inside this process.
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace plat::ui {

enum class PasteboardName { general, selection };

class Pasteboard {
public:
    using Answer = std::function<void(std::optional<std::string>)>;

    // Where the strings are kept.
    class Backend {
    public:
        virtual ~Backend() = default;
        // The board's text; none when it is empty, not text, or could not be had in time. May wait a
        // bounded time for another program to answer.
        virtual std::optional<std::string> read(PasteboardName name) = 0;
        // The same without waiting: `done` runs on the main thread, on a later turn of the main
        // queue when another program has to answer (by default at once, with read()).
        virtual void request(PasteboardName name, Answer done) { done(read(name)); }
        virtual void write(PasteboardName name, const std::string& text) = 0;
        // Gives the board up: empty afterwards, and no other program gets our text from it.
        virtual void clear(PasteboardName name) { write(name, std::string()); }
    };

    static Pasteboard& general();
    static Pasteboard& selection();

    // Waits for another program's answer where it owns the board: the Edit commands use
    // requestString().
    std::optional<std::string> string() const;
    // The board's text for `done` (none: empty, not text, or no answer in time), which runs on the
    // main thread: at once when the text is at hand, else on a later turn of the main queue.
    void requestString(Answer done) const;
    // Takes over the board with `text`.
    void setString(const std::string& text);
    // Takes over the board with `text` for as long as `stillOffered` says so: reviewOffers() gives
    // the board up once it no longer does (the field that selected the text was hidden or cleared).
    void offer(const std::string& text, std::function<bool()> stillOffered);
    // Gives the board up, if it is still ours.
    void clear();
    // Gives up each board whose offer no longer holds. The window layer calls it after each pass.
    static void reviewOffers();

    // Null: back to the process's own boards (which are then empty).
    static void setBackend(std::shared_ptr<Backend> backend);
    // Test hook: the process's own, empty boards again.
    static void resetForTesting() { setBackend(nullptr); }

private:
    explicit Pasteboard(PasteboardName name) : name_(name) {}
    PasteboardName name_;
    std::function<bool()> stillOffered_;
};

} // namespace plat::ui
