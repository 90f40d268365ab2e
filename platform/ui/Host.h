// The root of one window's view tree, without a window: it builds the tree, takes part in update
// passes, lays out at its content size, and offers what tests and scripts need — finding nodes,
// clicking, typing, pressing keys, toggling and selecting through the same paths as real input, and
// dumping the tree with frames. A window holds one and forwards its events.
//
// The first build happens in the first update pass (scheduled on the main queue when the host is
// made; `update()` runs it at once). Every input method runs an update pass after the event.
// Main thread only.
#pragma once

#include "platform/ui/AnyView.h"
#include "platform/ui/HeadlessMetrics.h"
#include "platform/ui/NodeRef.h"
#include "platform/ui/Query.h"
#include "platform/ui/RootHost.h"
#include "platform/ui/TextMetrics.h"
#include "platform/ui/UpdateCoordinator.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace plat {
class DispatchSourceTimer;
class Scheduler;
} // namespace plat

namespace plat::ui {

namespace detail {
class ViewGraph;
}

struct HostOptions {
    Size contentSize{800, 500};
    // None: HeadlessMetrics.
    std::shared_ptr<const TextMetrics> metrics{};
    // Times what the host repeats by itself while the pointer is held (the text of a field
    // scrolling under a drag held beyond its side); none: the system's. It outlives the host.
    Scheduler* scheduler = nullptr;
};

// The least size `view` lays out in, as a window's content would measure it with `metrics` (none:
// HeadlessMetrics). The view is built in a tree of its own that lives only for the measurement, so
// a screen can size itself for content it does not show (say the larger of two forms).
Size minimumSize(AnyView view, std::shared_ptr<const TextMetrics> metrics = nullptr);

class Host : public RootHost, private UpdateCoordinator::Client {
public:
    explicit Host(AnyView root, HostOptions options = {});
    ~Host() override;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // --- RootHost ---
    Size contentSize() const override;
    void setContentSize(Size size) override;
    Size minimumContentSize() const override;
    bool needsUpdate() const override;
    void update() override;
    std::vector<RenderLayer> layers() const override;
    void render(Renderer& renderer) const override;
    void setDisplayHandler(std::function<void()> handler) override;
    // The open menu's or picker's items, where a click chooses them (see mouseClick).
    std::optional<MenuPopup> menuPopup() const override;
    // A click on a row of the open menu's panel chooses the item as click() on it does (a picker's
    // entry as select()); a click elsewhere outside the menu closes it and reaches nothing else.
    bool mouseClick(Point location) override;
    bool keyDown(const KeyEvent& event) override;
    bool insertText(std::string_view text) override;
    // A press in a text field focuses it and puts the caret under the pointer (Shift stretches the
    // selection there, a second press selects the word, a third the whole text), and dragging
    // stretches the selection. A press and release on one control are a click on it (mouseClick at
    // the press), wherever the pointer went between; released elsewhere, nothing acts. A press on a
    // map starts a drag that pans it until the release, and only one released within kClickSlop of
    // it is a click there. The wheel zooms the map under the pointer, or scrolls the innermost list
    // or scroll view under it that can move that way (ScrollState::wheelStep points per unit;
    // positive deltaY shows earlier content); a click on a map's marker selects it (see
    // MapViewState). After a double press a drag in a field stretches the selection by whole
    // words, after a triple press it keeps the whole text; a drag held still beyond the field's
    // side scrolls its text on, every kFieldScrollInterval, until the pointer comes back or the
    // release.
    bool mouseDown(Point location, KeyModifiers modifiers = KeyModifiers::None, int clickCount = 1) override;
    bool mouseDragged(Point location) override;
    bool mouseUp(Point location) override;
    bool scrollWheel(Point location, double deltaY) override;
    bool middleClick(Point location) override;
    // How often a field's text scrolls on under a drag held beyond its side: each time by as far as
    // the pointer is beyond it, at least one character (a word after a double press).
    static constexpr std::chrono::milliseconds kFieldScrollInterval{50};

    // Called with a key nothing in the tree took: the window's own keys (a menu's key equivalent,
    // Escape closing a panel). Returns whether it took the key; it may close the window.
    void setUnhandledKeyHandler(std::function<bool(const KeyEvent&)> handler) {
        unhandledKey_ = std::move(handler);
    }

    // --- Queries, over the content and then the presented sheets and alerts, in tree order ---
    NodeRef root() const;
    NodeRef find(const Query& query) const;
    std::vector<NodeRef> findAll(const Query& query) const;
    std::size_t count(const Query& query) const { return findAll(query).size(); }
    // As find(), but throws std::runtime_error (with the dump) when nothing matches.
    NodeRef require(const Query& query) const;
    // The roots of the presented sheets and alerts, oldest first.
    std::vector<NodeRef> sheets() const;
    std::vector<NodeRef> alerts() const;
    // The control that has the keyboard focus (a text field takes typing; Tab moves the focus).
    NodeRef focused() const;
    // The menu a click on its label opened (its items follow the label among its children); Escape,
    // another click on the label or choosing an item closes it.
    NodeRef openMenu() const;

    // --- Input: each returns false (and changes nothing) when the node is gone, disabled, behind a
    // sheet or alert, or not of a kind that takes the input ---
    // A click on the node: the button, toggle, list row, field or menu it belongs to answers.
    bool click(const NodeRef& node);
    // Focuses a text field and types `text` into it, one character at a time.
    bool type(const NodeRef& field, std::string_view text);
    // Replaces a text field's whole text (select all, then type).
    bool setText(const NodeRef& field, std::string_view text);
    bool pressKey(Key key, KeyModifiers modifiers = KeyModifiers::None);
    // Clicks a toggle when its state differs from `on`; true when it ends up `on`.
    bool setToggle(const NodeRef& toggle, bool on);
    // Chooses the picker entry or list row tagged `tag`.
    bool select(const NodeRef& pickerOrList, const Tag& tag);
    // Chooses the picker entry showing `entryText`.
    bool selectEntry(const NodeRef& picker, const std::string& entryText);
    // Escape on the topmost sheet or alert.
    bool dismissTop() { return pressKey(Key::Escape); }

    // --- Diagnostics ---
    // The layers as indented text with frames (see TextDumpRenderer).
    std::string dump() const;
    // Body evaluations of this tree so far.
    std::size_t bodyEvaluations() const;

private:
    // A press of the pointer's button, until its release.
    struct Press {
        Point location;
        // What a click at the press reaches: a node (a control, or a row of the open menu), the
        // open menu's panel, or nothing.
        enum class On { Nothing, Node, Panel } on = On::Nothing;
        std::weak_ptr<detail::Node> target;
        std::weak_ptr<detail::Node> field; // the text field the press went into
        detail::FieldDrag fieldDrag;       // how a drag from it selects there
        Point pointer;                     // where the pointer was dragged last
        // Both reach the same, still there.
        bool sameTarget(const Press& other) const;
    };
    // How far a press on a map may move and still be a click on it rather than a drag.
    static constexpr double kClickSlop = 4;

    bool performInput(bool handled);
    // What a click at the point reaches, for telling whether a release is on what its press was.
    Press clickTargetAt(Point location) const;
    // The topmost enabled map under the point in the top layer.
    NodeRef mapAt(Point location) const;
    // Scrolls the innermost list or scroll view under the point that can move by `delta` points.
    bool scrollAt(Point location, double delta);
    // Tells the window to redraw when the open menu changed without a pass.
    void noteMenuChange();
    // As performInput(), then noteMenuChange() unless `token` (taken from alive_ before the event)
    // says the event's action destroyed the host (so nothing of it is touched then).
    static bool finishInput(const std::weak_ptr<bool>& token, Host* host, bool handled);
    void performUpdate() override;
    // The pressed field's text scrolling on while the drag is held beyond its side: started (once)
    // and stopped as the pointer goes there and comes back; each tick is one step of the drag.
    void startFieldScroll();
    void stopFieldScroll();
    void fieldScrollTick();

    std::unique_ptr<detail::ViewGraph> graph_;
    NodeRef pressedMap_; // the map a press started on, until the release
    std::optional<Press> press_;
    std::function<void()> display_;
    std::function<bool(const KeyEvent&)> unhandledKey_;
    const void* shownMenu_ = nullptr; // the open menu the window was last told about
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    Scheduler* scheduler_;
    std::unique_ptr<DispatchSourceTimer> fieldScroll_; // last: stopped first as the host goes
};

} // namespace plat::ui
