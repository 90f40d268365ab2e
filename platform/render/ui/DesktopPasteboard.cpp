#include "platform/render/ui/DesktopPasteboard.h"

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
    void write(ui::PasteboardName name, const std::string& text) override {
        selections_.own(selectionFor(name), text);
    }

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
