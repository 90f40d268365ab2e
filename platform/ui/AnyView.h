// A view value: a cheap, immutable, shareable description of a piece of screen. The factory
// functions of Views.h and Controls.h make them; modifiers return a new value and leave the old one
// as it was. Modifiers that change layout (padding, frame, background, overlay) wrap the view; the
// others attach to it. Environment modifiers (font, colours, styles, disabled) reach the whole
// subtree, and the innermost one wins.
//
// Values are built and read on the main thread, inside bodies.
#pragma once

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Binding.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Published.h"
#include "platform/foundation/Subject.h"
#include "platform/ui/EnvironmentValues.h"
#include "platform/ui/KeyEvent.h"
#include "platform/ui/LayoutValues.h"
#include "platform/ui/Presentation.h"
#include "platform/ui/Shape.h"
#include "platform/ui/Styles.h"
#include "platform/ui/Tag.h"
#include "platform/ui/TextValue.h"
#include "platform/ui/ViewKind.h"
#include "platform/ui/ViewSpecs.h"

#include <concepts>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>

namespace plat::ui {

struct ViewData;

// The standard padding, used where a screen asks for "the default padding".
inline constexpr double defaultPadding = 16;
// The standard gap between the children of a stack that names no spacing.
inline constexpr double defaultSpacing = 8;

class AnyView {
public:
    // An empty view: takes no space and shows nothing.
    AnyView();
    explicit AnyView(std::shared_ptr<const ViewData> data);

    const ViewData& data() const { return *data_; }
    const std::shared_ptr<const ViewData>& dataPointer() const { return data_; }
    ViewKind kind() const;
    bool isEmpty() const { return kind() == ViewKind::Empty; }

    // --- Layout (wrap the view) ---
    AnyView padding() const { return padding(Edge::All, defaultPadding); }
    AnyView padding(double amount) const { return padding(Edge::All, amount); }
    AnyView padding(Edge edges) const { return padding(edges, defaultPadding); }
    AnyView padding(Edge edges, double amount) const { return padding(EdgeInsets::on(edges, amount)); }
    AnyView padding(EdgeInsets insets) const;
    // A fixed size in one or both dimensions; an absent dimension keeps the child's.
    AnyView frame(std::optional<double> width, std::optional<double> height = std::nullopt,
                  Alignment alignment = {}) const;
    // Flexible bounds: `.frame({.minWidth = 500, .maxWidth = ui::infinity})`.
    AnyView frame(FrameSpec desc) const;
    AnyView background(AnyView view, Alignment alignment = {}) const;
    AnyView background(Color color) const;
    AnyView overlay(AnyView view, Alignment alignment = {}) const;

    // --- Drawing (attach) ---
    AnyView border(Color color, double width = 1) const;
    AnyView clipShape(Shape shape) const;
    AnyView cornerRadius(double radius) const { return clipShape(Shape::roundedRectangle(radius)); }
    AnyView shadow(Color color, double radius, double x = 0, double y = 0) const;
    AnyView opacity(double value) const;
    AnyView underline(bool active = true, std::optional<Color> color = std::nullopt) const;

    // --- Images ---
    AnyView resizable() const;
    AnyView aspectRatio(ContentMode mode) const;
    AnyView scaledToFit() const { return aspectRatio(ContentMode::Fit); }
    AnyView scaledToFill() const { return aspectRatio(ContentMode::Fill); }

    // --- Environment (the whole subtree) ---
    AnyView font(Font font) const;
    AnyView fontWeight(FontWeight weight) const;
    AnyView bold() const { return fontWeight(FontWeight::Bold); }
    AnyView italic() const;
    AnyView foregroundColor(Color color) const;
    AnyView foregroundStyle(Color color) const { return foregroundColor(color); }
    AnyView disabled(bool disabled) const;
    AnyView buttonStyle(ButtonStyle style) const;
    AnyView textFieldStyle(TextFieldStyle style) const;
    AnyView toggleStyle(ToggleStyle style) const;
    AnyView pickerStyle(PickerStyle style) const;
    AnyView menuStyle(MenuStyle style) const;
    AnyView labelsHidden() const;
    // Whether menus below keep room for an indicator after their label.
    AnyView menuIndicator(bool visible) const;
    AnyView preferredColorScheme(ColorScheme scheme) const;
    // Any other change to the environment of the subtree.
    AnyView environment(std::function<void(EnvironmentValues&)> change) const;
    // Makes `object` reachable by EnvironmentObject<T> everywhere below.
    template <typename T> AnyView environmentObject(std::shared_ptr<T> object) const {
        return environment([object](EnvironmentValues& env) { env.setObject<T>(object); });
    }

    // --- Identity, queries, input ---
    // An explicit identity: a new id gives the view (and all state below it) a fresh start.
    AnyView id(std::string id) const;
    AnyView id(long long id) const { return this->id(std::to_string(id)); }
    AnyView tag(Tag tag) const;
    // A name for tests and scripts to find the node by.
    AnyView testId(std::string id) const;
    AnyView help(TextValue text) const;
    AnyView keyboardShortcut(KeyboardShortcut shortcut) const;
    AnyView navigationTitle(TextValue title) const;
    // A list or scroll view scrolls back to its start whenever `key` changes (a new search text,
    // say), so the first row shown is the first row there is.
    AnyView scrollsToTopOnChange(std::string key) const;
    // What Return does on a focused list beyond choosing the row its arrow keys reached (as a click
    // does): `action` gets that row's tag, also when the row was chosen already.
    AnyView onRowSubmit(std::function<void(const Tag&)> action) const;
    // Marks the window's menu bar: the shortcuts of the buttons in its menus work while a sheet or
    // an alert covers the window, as application commands do.
    AnyView menuBar() const;
    // A text field holding a secret that it shows (a revealed password): like a secure field, it
    // never gives its text to the pasteboards or to other programs.
    AnyView privacySensitive() const;

    // --- Lifecycle ---
    // Runs in the update pass in which the view joins (leaves) the tree, in tree order.
    AnyView onAppear(std::function<void()> action) const;
    AnyView onDisappear(std::function<void()> action) const;

    // Subscribes once per identity, when the view first joins the tree; the publisher's current
    // value is delivered at once (for those that keep one), later values as they are sent. The
    // action always is the latest body's. Values sent on another thread reach the action on the
    // main queue. The publisher must outlive the view or be a member of an object that does.
    template <typename T, typename F>
    requires std::invocable<F&, const T&> AnyView onReceive(const Published<T>& publisher, F action)
    const {
        return addReceiver(makeReceiver<T>(
            &publisher, [&publisher](auto cb) { return publisher.sink(cb); }, std::move(action)));
    }
    template <typename T, typename F>
    requires std::invocable<F&, const T&> AnyView onReceive(const CurrentValueSubject<T>& subject, F action)
    const {
        return addReceiver(makeReceiver<T>(
            &subject, [&subject](auto cb) { return subject.sink(cb); }, std::move(action)));
    }
    template <typename T, typename F>
    requires std::invocable<F&, const T&> AnyView onReceive(const PassthroughSubject<T>& subject, F action)
    const {
        return addReceiver(makeReceiver<T>(
            &subject, [&subject](auto cb) { return subject.sink(cb); }, std::move(action)));
    }
    // Notifications named `name` from any sender, posted on `center`.
    AnyView onReceive(NotificationCenter& center, std::string name,
                      std::function<void(const Notification&)> action) const;

    // Runs `action` with the new value in the update pass after a rebuild in which `value` differs
    // from the value of the previous build. The first build runs nothing.
    template <typename V, typename F>
    requires std::equality_comparable<V> && std::copy_constructible<V> && std::invocable<F&, const V&>
        AnyView onChange(V value, F action)
    const {
        detail::ChangeSpec desc;
        desc.value = std::make_shared<const V>(std::move(value));
        desc.equal = [](const void* a, const void* b) {
            return *static_cast<const V*>(a) == *static_cast<const V*>(b);
        };
        desc.action = [action = std::move(action)](const void* v) { action(*static_cast<const V*>(v)); };
        return addChange(std::move(desc));
    }

    // --- Presentation ---
    // Shows `content` as a sheet over the window while `isPresented` reads true; a dismissal by the
    // user (Escape) writes false. The content keeps this view's environment.
    AnyView sheet(Binding<bool> isPresented, std::function<AnyView()> content,
                  std::function<void()> onDismiss = {}) const;
    // Shows an alert while `isPresented` reads true; any of its buttons closes it and writes false.
    AnyView alert(Binding<bool> isPresented, std::function<Alert()> content) const;
    // Shows an alert while `item` holds a value; closing writes none. A different alert (title or
    // message) for a new value replaces the one shown.
    template <typename T, typename F>
    requires std::is_invocable_r_v<Alert, F&, const T&> AnyView alert(Binding<std::optional<T>> item,
                                                                      F content)
    const {
        return addAlert([item] { return item.get().has_value(); }, [item] { item.set(std::nullopt); },
                        [item, content]() -> std::optional<Alert> {
                            auto value = item.get();
                            if (!value) return std::nullopt;
                            return content(*value);
                        });
    }

private:
    template <typename T, typename Subscribe, typename F>
    static detail::ReceiveSpec makeReceiver(const void* source, Subscribe subscribe, F action) {
        detail::ReceiveSpec desc;
        desc.source = source;
        desc.subscribe = [subscribe](std::function<void(const void*)> deliver) {
            return subscribe([deliver](const T& value) {
                if (isMainThread()) return deliver(&value);
                // Screens change on the main thread only; the value travels there by copy.
                mainQueue().async([deliver, value] { deliver(&value); });
            });
        };
        desc.action = [action = std::move(action)](const void* v) mutable {
            action(*static_cast<const T*>(v));
        };
        return desc;
    }
    AnyView addReceiver(detail::ReceiveSpec desc) const;
    AnyView addChange(detail::ChangeSpec desc) const;
    AnyView addAlert(std::function<bool()> isPresented, std::function<void()> dismiss,
                     std::function<std::optional<Alert>()> content) const;
    // A copy of this value's data for an attaching modifier to change.
    std::shared_ptr<ViewData> copy() const;
    AnyView wrap(ViewKind kind) const;

    std::shared_ptr<const ViewData> data_;
};

} // namespace plat::ui
