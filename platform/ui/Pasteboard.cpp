#include "platform/ui/Pasteboard.h"

#include <array>

namespace plat::ui {

namespace {

class ProcessBoards : public Pasteboard::Backend {
public:
    std::optional<std::string> read(PasteboardName name) override { return boards_[index(name)]; }
    void write(PasteboardName name, const std::string& text) override { boards_[index(name)] = text; }
    void clear(PasteboardName name) override { boards_[index(name)].reset(); }

private:
    static std::size_t index(PasteboardName name) { return name == PasteboardName::general ? 0 : 1; }
    std::array<std::optional<std::string>, 2> boards_;
};

std::shared_ptr<Pasteboard::Backend>& backend() {
    static auto* current = new std::shared_ptr<Pasteboard::Backend>(std::make_shared<ProcessBoards>());
    return *current;
}

} // namespace

Pasteboard& Pasteboard::general() {
    static auto* board = new Pasteboard(PasteboardName::general);
    return *board;
}

Pasteboard& Pasteboard::selection() {
    static auto* board = new Pasteboard(PasteboardName::selection);
    return *board;
}

std::optional<std::string> Pasteboard::string() const {
    // A copy: a backend replaced while it reads stays alive until it is done.
    auto source = backend();
    auto text = source->read(name_);
    if (text && text->empty()) return std::nullopt;
    return text;
}

void Pasteboard::requestString(Answer done) const {
    auto source = backend();
    source->request(name_, [done = std::move(done)](std::optional<std::string> text) {
        if (text && text->empty()) text.reset();
        done(std::move(text));
    });
}

void Pasteboard::setString(const std::string& text) {
    stillOffered_ = nullptr;
    auto target = backend();
    target->write(name_, text);
}

void Pasteboard::offer(const std::string& text, std::function<bool()> stillOffered) {
    setString(text);
    stillOffered_ = std::move(stillOffered);
}

void Pasteboard::clear() {
    stillOffered_ = nullptr;
    auto target = backend();
    target->clear(name_);
}

void Pasteboard::reviewOffers() {
    for (Pasteboard* board : {&general(), &selection()}) {
        if (board->stillOffered_ && !board->stillOffered_()) board->clear();
    }
}

void Pasteboard::setBackend(std::shared_ptr<Backend> replacement) {
    general().stillOffered_ = nullptr;
    selection().stillOffered_ = nullptr;
    backend() = replacement ? std::move(replacement) : std::make_shared<ProcessBoards>();
}

} // namespace plat::ui
