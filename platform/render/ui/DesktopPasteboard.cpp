#include "platform/render/ui/DesktopPasteboard.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/render/DesktopSelections.h"
#include "platform/ui/Pasteboard.h"

#include <memory>

namespace plat::render {

namespace {

DesktopSelections::Selection selectionFor(ui::PasteboardName name) {
    return name == ui::PasteboardName::general ? DesktopSelections::Selection::clipboard
                                               : DesktopSelections::Selection::primary;
}

class Backend : public ui::Pasteboard::Backend {
public:
    explicit Backend(DesktopSelections& selections) : selections_(selections) {}
    std::optional<std::string> read(ui::PasteboardName name) override {
        return selections_.read(selectionFor(name));
    }
    void request(ui::PasteboardName name, ui::Pasteboard::Answer done) override {
        // The answer comes on the selections' thread (or here, for our own text); the field takes
        // it on the main thread, on a later turn, while the window goes on drawing meanwhile.
        selections_.request(selectionFor(name), DesktopSelections::kReadTimeout,
                            [done = std::move(done)](std::optional<std::string> text) {
                                plat::mainQueue().async([done, text = std::move(text)] { done(text); });
                            });
    }
    void write(ui::PasteboardName name, const std::string& text) override {
        selections_.own(selectionFor(name), text);
    }
    void clear(ui::PasteboardName name) override { selections_.disown(selectionFor(name)); }

private:
    DesktopSelections& selections_;
};

} // namespace

bool DesktopPasteboard::install() {
    static const bool installed = [] {
        DesktopSelections* selections = DesktopSelections::shared();
        if (!selections) return false;
        ui::Pasteboard::setBackend(std::make_shared<Backend>(*selections));
        return true;
    }();
    return installed;
}

} // namespace plat::render
