// The desktop's clipboards as text fields use them: the general pasteboard (what Cut and Copy put
// there and Paste takes) and the selection pasteboard (the text selected last, which a middle click
// pastes). Where the strings live is the backend's business: the window layer installs the
// desktop's when a display is up; until then, and headless, they stay inside this process.
// Main thread only.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace plat::ui {

enum class PasteboardName { general, selection };

class Pasteboard {
public:
    // Where the strings are kept; read() may wait a bounded time for another program to answer.
    class Backend {
    public:
        virtual ~Backend() = default;
        // The board's text; none when it is empty, not text, or could not be had in time.
        virtual std::optional<std::string> read(PasteboardName name) = 0;
        virtual void write(PasteboardName name, const std::string& text) = 0;
    };

    static Pasteboard& general();
    static Pasteboard& selection();

    std::optional<std::string> string() const;
    // Takes over the board with `text`.
    void setString(const std::string& text);

    // Null: back to the process's own boards (which are then empty).
    static void setBackend(std::shared_ptr<Backend> backend);
    // Test hook: the process's own, empty boards again.
    static void resetForTesting() { setBackend(nullptr); }

private:
    explicit Pasteboard(PasteboardName name) : name_(name) {}
    PasteboardName name_;
};

} // namespace plat::ui
