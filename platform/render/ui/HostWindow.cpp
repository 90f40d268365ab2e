#include "platform/render/ui/HostWindow.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Text.h"
#include "platform/render/WindowSystem.h"
#include "platform/ui/Pasteboard.h"

#include <algorithm>
#include <cmath>

namespace plat::render {

namespace {

// On this desktop the Ctrl key is what the toolkit calls the command key: Ctrl+A selects all,
// Ctrl+Q quits. The Super key, where the desktop leaves it to the window, does the same.
ui::KeyModifiers modifiers(int mods) {
    auto m = ui::KeyModifiers::None;
    if (mods & keys::ModShift) m = m | ui::KeyModifiers::Shift;
    if (mods & (keys::ModControl | keys::ModSuper)) m = m | ui::KeyModifiers::Command;
    if (mods & keys::ModAlt) m = m | ui::KeyModifiers::Option;
    return m;
}

// Named keys the tree answers to; printable keys arrive as typed text instead.
std::optional<ui::Key> namedKey(int key) {
    switch (key) {
    case keys::Return:
    case keys::KeypadEnter:
        return ui::Key::Return;
    case keys::Escape:
        return ui::Key::Escape;
    case keys::Tab:
        return ui::Key::Tab;
    case keys::Backspace:
        return ui::Key::Backspace;
    case keys::Delete:
        return ui::Key::Delete;
    case keys::Up:
        return ui::Key::Up;
    case keys::Down:
        return ui::Key::Down;
    case keys::Left:
        return ui::Key::Left;
    case keys::Right:
        return ui::Key::Right;
    case keys::Home:
        return ui::Key::Home;
    case keys::End:
        return ui::Key::End;
    default:
        return std::nullopt;
    }
}

// Presses this close together in place and time make a series (a double or triple click).
constexpr double kSeriesSlop = 4;
constexpr auto kSeriesInterval = std::chrono::milliseconds(400);
// How soon a moving picture is drawn again.
constexpr auto kAnimationFrame = std::chrono::milliseconds(16);

} // namespace

HostWindow::HostWindow(std::shared_ptr<ui::RootHost> host, WindowOptions options,
                       std::function<ui::NodeRef()> focused)
    : host_(std::move(host)) {
    painter_.setFocusedField(std::move(focused));
    surface_ = WindowSystem::shared().createWindow(options);
    host_->setContentSize(surface_->contentSize());
    host_->setDisplayHandler([this] { surface_->setNeedsDisplay(); });
    surface_->setDisplayHandler([this](Surface&) { display(); });
    surface_->setEventHandler([this](const InputEvent& e) { handle(e, {}); });
    surface_->setFocusHandler([this](bool focused) { focusChanged(surface_.get(), focused); });
}

HostWindow::~HostWindow() {
    *alive_ = false;
    host_->setDisplayHandler({});
    sheets_.clear();
}

void HostWindow::display() {
    Size size = surface_->contentSize();
    const Size current = host_->contentSize();
    if (std::fabs(current.width - size.width) > 0.01 || std::fabs(current.height - size.height) > 0.01)
        host_->setContentSize(size);
    host_->update();
    // The window never gets smaller than its content's minimum: the desktop is told the limit,
    // and a size below it (set before the content was known) grows to it.
    const Size least = host_->minimumContentSize();
    const Size limit{std::ceil(least.width), std::ceil(least.height)};
    // Told every frame: the surface lowers its limit for a size the application asks for, and only
    // the surface knows whether the desktop still has this one.
    surface_->setMinimumContentSize(limit);
    if (size.width < limit.width || size.height < limit.height) {
        size = {std::max(size.width, limit.width), std::max(size.height, limit.height)};
        surface_->setContentSize(size);
        host_->setContentSize(size);
        host_->update();
    }
    // A field that offered its selection to the desktop and is gone or cleared since takes it back.
    ui::Pasteboard::reviewOffers();
    std::optional<ui::MenuPopup> popup = host_->menuPopup();
    hoveredDrawn_ = popup ? hoveredRow(*popup) : -1;
    if (hoveredDrawn_ >= 0) {
        // The pointer's row is the one highlighted, as the arrow keys' is when they moved last.
        for (size_t i = 0; i < popup->rows.size(); ++i)
            popup->rows[i].reached = static_cast<int>(i) == hoveredDrawn_;
    }
    painter_.setMenuPopup(std::move(popup));
    host_->render(painter_);
    surface_->present(painter_.window());
    syncSheets();
    if (painter_.animating() && !redrawQueued_) {
        redrawQueued_ = true;
        plat::mainQueue().asyncAfter(kAnimationFrame, [this, alive = alive_] {
            if (!*alive) return;
            redrawQueued_ = false;
            surface_->setNeedsDisplay();
        });
    }
}

void HostWindow::syncSheets() {
    const auto& lists = painter_.sheets();
    while (sheets_.size() > lists.size()) {
        // A closed sheet reports no loss of focus; it has none from now on.
        focusChanged(sheets_.back().get(), false);
        sheets_.pop_back();
    }
    sheetFrames_.resize(sheets_.size());
    const Point here = surface_->position();
    for (size_t i = 0; i < lists.size(); ++i) {
        const Rect& f = lists[i].frame;
        const Size size = f.size();
        // Over this window where the sheet was laid out; a sheet wider than the window is kept on
        // the screen (input does not depend on where the sheet window stands).
        const Point at{std::max(0.0, here.x + f.x), std::max(0.0, here.y + f.y)};
        if (i == sheets_.size()) {
            WindowOptions options;
            options.title = surface_->title();
            options.contentSize = size;
            options.resizable = false;
            options.parent = i == 0 ? surface_.get() : sheets_[i - 1].get();
            sheets_.push_back(WindowSystem::shared().createWindow(options));
            sheetFrames_.push_back(f);
            sheets_.back()->setPosition(at);
            sheets_.back()->setEventHandler([this, i](const InputEvent& e) {
                if (i >= sheetFrames_.size()) return;
                const std::shared_ptr<bool> alive = alive_;
                handle(e, sheetFrames_[i].origin());
                // The sheet's picture is made with this window's: what the input changed without
                // a rebuild (the focus ring moving) shows only when this window draws again.
                if (*alive) surface_->setNeedsDisplay();
            });
            sheets_.back()->setFocusHandler(
                [this, sheet = sheets_.back().get()](bool focused) { focusChanged(sheet, focused); });
        } else {
            Surface& sheet = *sheets_[i];
            if (std::lround(sheet.contentSize().width) != std::lround(size.width) ||
                std::lround(sheet.contentSize().height) != std::lround(size.height))
                sheet.setContentSize(size);
            if (std::lround(sheet.position().x) != std::lround(at.x) ||
                std::lround(sheet.position().y) != std::lround(at.y))
                sheet.setPosition(at);
            sheetFrames_[i] = f;
        }
        sheets_[i]->present(lists[i].list);
    }
}

void HostWindow::handle(const InputEvent& e, Point origin) {
    const Point at{origin.x + e.position.x, origin.y + e.position.y};
    switch (e.kind) {
    case InputEvent::Kind::MouseDown:
        if (e.button == 0) {
            const auto now = std::chrono::steady_clock::now();
            const bool series = clicks_ > 0 && now - lastPress_ <= kSeriesInterval &&
                                std::fabs(at.x - pressed_.x) <= kSeriesSlop &&
                                std::fabs(at.y - pressed_.y) <= kSeriesSlop;
            clicks_ = series ? clicks_ + 1 : 1;
            lastPress_ = now;
            pressed_ = at;
            pressedValid_ = true;
            host_->mouseDown(at, modifiers(e.mods), clicks_);
        }
        break;
    case InputEvent::Kind::MouseMove:
        pointer_ = at;
        if (pressedValid_) {
            host_->mouseDragged(at);
        } else if (auto popup = host_->menuPopup(); popup && hoveredRow(*popup) != hoveredDrawn_) {
            surface_->setNeedsDisplay();
        }
        break;
    case InputEvent::Kind::Scroll:
        if (e.dy != 0) host_->scrollWheel(at, e.dy);
        break;
    case InputEvent::Kind::MouseUp:
        // The middle button pastes the desktop's selection where it is released.
        if (e.button == 2) host_->middleClick(at);
        // The host makes a click of the press and the release where they fit together.
        if (e.button == 0 && pressedValid_) {
            pressedValid_ = false;
            host_->mouseUp(at);
        }
        break;
    case InputEvent::Kind::Key:
        // The keys take the highlight over until the pointer moves again. A key between two
        // presses ends their series: the second press is a click of its own, not a double click.
        pointer_.reset();
        clicks_ = 0;
        if (auto key = namedKey(e.key)) {
            host_->keyDown(ui::KeyEvent::named(*key, modifiers(e.mods)));
        } else if ((e.mods & (keys::ModControl | keys::ModSuper)) && e.key >= 32 && e.key < 127) {
            // Shortcuts: printable keys with a command modifier, as lower-case characters.
            const char c = static_cast<char>(e.key >= 'A' && e.key <= 'Z' ? e.key - 'A' + 'a' : e.key);
            host_->keyDown(ui::KeyEvent{ui::Key::Character, std::string(1, c), modifiers(e.mods)});
        }
        break;
    case InputEvent::Kind::Character:
        if (!host_->insertText(text::utf8Encoded(e.codepoint)) && e.codepoint == ' ')
            host_->keyDown(ui::KeyEvent::named(ui::Key::Space));
        break;
    case InputEvent::Kind::CloseRequest:
        if (onClose_) onClose_();
        break;
    default:
        break;
    }
}

int HostWindow::hoveredRow(const ui::MenuPopup& popup) const {
    if (!pointer_) return -1;
    for (size_t i = 0; i < popup.rows.size(); ++i) {
        const auto& row = popup.rows[i];
        if (!row.separator && row.enabled && row.frame.contains(*pointer_)) return static_cast<int>(i);
    }
    return -1;
}

void HostWindow::focusChanged(const Surface* surface, bool focused) {
    // This window takes no keys while a sheet is open: the keyboard it is given (the window
    // manager's title bar, a pager) goes on to the sheet on top, which takes them.
    if (focused && surface == surface_.get() && !sheets_.empty()) sheets_.back()->bringToFront();
    const bool before = !focusedSurfaces_.empty();
    auto found = std::find(focusedSurfaces_.begin(), focusedSurfaces_.end(), surface);
    if (focused && found == focusedSurfaces_.end()) focusedSurfaces_.push_back(surface);
    if (!focused && found != focusedSurfaces_.end()) focusedSurfaces_.erase(found);
    const bool after = !focusedSurfaces_.empty();
    if (before != after && onFocus_) onFocus_(after);
}

bool HostWindow::writeScreenshots(const std::filesystem::path& path) {
    display();
    bool ok = surface_->writeScreenshot(path);
    for (size_t i = 0; i < sheets_.size(); ++i) {
        auto sheetPath = path.parent_path() / (path.stem().string() + "-sheet" + std::to_string(i + 1) +
                                               path.extension().string());
        ok = sheets_[i]->writeScreenshot(sheetPath) && ok;
    }
    return ok;
}

} // namespace plat::render
