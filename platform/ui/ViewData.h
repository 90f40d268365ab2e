// The contents of a view value: its kind, the fields of that kind, its children and what its
// modifiers attached. Made by the factories and modifiers, read by the view graph, the layout and
// queries; never changed once shared.
#pragma once

#include "platform/ui/AnyView.h"

#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

namespace plat::ui {

class Screen;
struct MapContent;

// A screen type placed in a tree: made by `make<T>(args...)`, constructed by the view graph when
// (and each time) its parent builds it.
struct ComponentSpec {
    std::type_index type = std::type_index(typeid(void));
    const std::type_info* info = &typeid(void);
    std::function<std::unique_ptr<Screen>()> construct;
    // Moves a freshly constructed instance into the place's existing one (same type), so the
    // instance, and `this` in its closures, stays the same for the life of the place. False when
    // the type cannot be assigned; the fresh instance then replaces the old.
    std::function<bool(Screen& existing, Screen& fresh)> assign;
    // The arguments `construct` hands to the constructor, and how to tell two sets of them apart:
    // null when they are not all comparable, and the screen is then rebuilt every time its parent
    // builds it.
    std::shared_ptr<const void> arguments;
    std::type_index argumentsType = std::type_index(typeid(void));
    bool (*sameArguments)(const void* a, const void* b) = nullptr;

    // Whether `other` builds the same screen from equal arguments, so the body of the one can
    // stand for the body of the other.
    bool sameConstruction(const ComponentSpec& other) const {
        return sameArguments && other.sameArguments && type == other.type &&
               argumentsType == other.argumentsType &&
               (arguments == other.arguments || sameArguments(arguments.get(), other.arguments.get()));
    }
};

struct PresentationSpec {
    enum class Kind { Sheet, Alert };
    Kind kind = Kind::Sheet;
    std::function<bool()> isPresented;
    // What a dismissal by the user or an alert button writes (false, or none).
    std::function<void()> dismiss;
    std::function<AnyView()> sheetContent;
    std::function<std::optional<Alert>()> alertContent;
    std::function<void()> onDismiss;
};

struct ViewAttributes {
    std::optional<std::string> id;
    std::string testId;
    Tag tag;
    std::optional<TextValue> help;
    std::optional<KeyboardShortcut> shortcut;
    std::optional<TextValue> navigationTitle;
    // A list or scroll view goes back to its start when this differs from the last layout's.
    std::optional<std::string> scrollResetKey;
    // The window's menu bar: its items answer while a sheet or alert covers the window.
    bool menuBar = false;
    // A field whose text is a secret even while it shows (a revealed password).
    bool privacySensitive = false;
    // A list's action for Return on the row its arrow keys reached, after the row is chosen.
    std::function<void(const Tag&)> rowSubmit;
    // Drawing
    std::optional<Color> borderColor;
    double borderWidth = 0;
    std::optional<Shape> clipShape;
    std::optional<ShadowSpec> shadow;
    double opacity = 1;
    bool underline = false;
    std::optional<Color> underlineColor;
    // Lifecycle
    std::vector<std::function<void()>> onAppear;
    std::vector<std::function<void()>> onDisappear;
    std::vector<detail::ReceiveSpec> receivers;
    std::vector<detail::ChangeSpec> changes;
    std::vector<PresentationSpec> presentations;
};

// A group of fields that few views set. It holds nothing until one of them is written, so a view
// that leaves the group alone pays one pointer for it; reading an empty group sees the defaults. A
// view's copies (each modifier makes one) share the group, and writing to a shared group copies it
// first. A value of hundreds of rows keeps thousands of these views alive, so this is what keeps
// each of them small.
template <class T> class SparseFields {
public:
    SparseFields() = default;
    SparseFields(T value) : fields_(std::make_shared<T>(std::move(value))) {}

    const T& operator*() const { return fields_ ? *fields_ : defaults(); }
    const T* operator->() const { return &**this; }
    // For writing: this group alone, made or copied as needed.
    T* operator->() { return &edit(); }
    T& edit() {
        if (!fields_)
            fields_ = std::make_shared<T>();
        else if (fields_.use_count() > 1)
            fields_ = std::make_shared<T>(*fields_);
        return *fields_;
    }

private:
    static const T& defaults() {
        static const T empty{};
        return empty;
    }
    std::shared_ptr<T> fields_;
};

// What a control carries.
struct ControlFields {
    std::function<void()> action;                                // Button, menu items
    ButtonRole role = ButtonRole::None;                          // Button
    std::optional<Binding<std::string>> textBinding;             // TextField, SecureField
    std::optional<Binding<bool>> boolBinding;                    // Toggle
    std::optional<Binding<Tag>> tagBinding;                      // Picker
    std::optional<Binding<std::optional<Tag>>> selectionBinding; // List
    std::optional<double> progress;                              // determinate ProgressView
    std::shared_ptr<const MapContent> map;                       // MapView (none: an empty map)
};

// A padding's insets, a frame's rules, a shape's outline or a colour's colour.
struct GeometryFields {
    EdgeInsets insets; // Padding
    FrameSpec frame;   // Frame
    Shape shape;       // Shape
    Color color;       // Color
};

struct ViewData {
    ViewKind kind = ViewKind::Empty;

    // Text content, a control's title or label text, a field's placeholder.
    TextValue text;
    // Images (also a Label's icon): the asset or symbol name.
    std::string imageName;
    bool systemImage = false;
    bool resizable = false;
    std::optional<ContentMode> contentMode;

    SparseFields<ControlFields> controls;

    // Containers and layout
    HAlign hAlign = HAlign::Center;  // VStack
    VAlign vAlign = VAlign::Center;  // HStack
    Alignment alignment;             // ZStack, Frame, Background, Overlay
    std::optional<double> spacing;   // stacks; none: defaultSpacing
    std::optional<double> minLength; // Spacer; none: defaultSpacing
    Axis axis = Axis::Vertical;      // ScrollView
    bool showsIndicators = true;     // ScrollView
    SparseFields<GeometryFields> geometry;

    // Component and Branch
    SparseFields<ComponentSpec> component;
    std::string branch;

    // Children: stack and list content, a button's or toggle's label, a menu's label followed by its
    // items, a picker's entries, a modifier's content followed by its decoration.
    std::vector<AnyView> children;
    // Environment changes, in the order the modifiers were applied (innermost first). Kept out of
    // the attributes: fonts and colours are set on most texts, and nothing else of those.
    std::vector<std::function<void(EnvironmentValues&)>> environment;
    SparseFields<ViewAttributes> attrs;
};

// A fresh node of `kind` with every other field at its default.
inline std::shared_ptr<ViewData> makeViewData(ViewKind kind) {
    auto d = std::make_shared<ViewData>();
    d->kind = kind;
    return d;
}

} // namespace plat::ui
