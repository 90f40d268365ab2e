#include "platform/ui/AnyView.h"

#include "platform/ui/ViewData.h"

namespace plat::ui {

namespace {
const std::shared_ptr<const ViewData>& emptyData() {
    static const auto* empty = new std::shared_ptr<const ViewData>(std::make_shared<ViewData>());
    return *empty;
}
} // namespace

AnyView::AnyView() : data_(emptyData()) {}

AnyView::AnyView(std::shared_ptr<const ViewData> data) : data_(data ? std::move(data) : emptyData()) {}

ViewKind AnyView::kind() const {
    return data_->kind;
}

std::shared_ptr<ViewData> AnyView::copy() const {
    return std::make_shared<ViewData>(*data_);
}

AnyView AnyView::wrap(ViewKind kind) const {
    auto d = makeViewData(kind);
    d->children.push_back(*this);
    return AnyView(std::move(d));
}

// --- Layout ---

AnyView AnyView::padding(EdgeInsets insets) const {
    AnyView v = wrap(ViewKind::Padding);
    auto d = v.copy();
    d->geometry->insets = insets;
    return AnyView(std::move(d));
}

AnyView AnyView::frame(std::optional<double> width, std::optional<double> height, Alignment alignment) const {
    FrameSpec desc;
    desc.width = width;
    desc.height = height;
    desc.alignment = alignment;
    return frame(desc);
}

AnyView AnyView::frame(FrameSpec desc) const {
    auto d = makeViewData(ViewKind::Frame);
    d->geometry->frame = desc;
    d->alignment = desc.alignment;
    d->children.push_back(*this);
    return AnyView(std::move(d));
}

AnyView AnyView::background(AnyView view, Alignment alignment) const {
    auto d = makeViewData(ViewKind::Background);
    d->alignment = alignment;
    d->children = {*this, std::move(view)};
    return AnyView(std::move(d));
}

AnyView AnyView::background(Color color) const {
    auto d = makeViewData(ViewKind::Color);
    d->geometry->color = color;
    return background(AnyView(std::move(d)));
}

AnyView AnyView::overlay(AnyView view, Alignment alignment) const {
    auto d = makeViewData(ViewKind::Overlay);
    d->alignment = alignment;
    d->children = {*this, std::move(view)};
    return AnyView(std::move(d));
}

// --- Drawing ---

AnyView AnyView::border(Color color, double width) const {
    auto d = copy();
    d->attrs->borderColor = color;
    d->attrs->borderWidth = width;
    return AnyView(std::move(d));
}

AnyView AnyView::clipShape(Shape shape) const {
    auto d = copy();
    if (!d->attrs->clipShape) d->attrs->clipShape = shape;
    return AnyView(std::move(d));
}

AnyView AnyView::shadow(Color color, double radius, double x, double y) const {
    auto d = copy();
    d->attrs->shadow = ShadowSpec{color, radius, x, y};
    return AnyView(std::move(d));
}

AnyView AnyView::opacity(double value) const {
    auto d = copy();
    d->attrs->opacity *= value;
    return AnyView(std::move(d));
}

AnyView AnyView::underline(bool active, std::optional<Color> color) const {
    auto d = copy();
    d->attrs->underline = active;
    d->attrs->underlineColor = color;
    return AnyView(std::move(d));
}

// --- Images ---

AnyView AnyView::resizable() const {
    auto d = copy();
    d->resizable = true;
    return AnyView(std::move(d));
}

AnyView AnyView::aspectRatio(ContentMode mode) const {
    auto d = copy();
    d->contentMode = mode;
    return AnyView(std::move(d));
}

// --- Environment ---

AnyView AnyView::environment(std::function<void(EnvironmentValues&)> change) const {
    auto d = copy();
    d->environment.push_back(std::move(change));
    return AnyView(std::move(d));
}

AnyView AnyView::font(Font font) const {
    // The weight is a value of its own, so `.font(.largeTitle).fontWeight(.heavy)` keeps both.
    return environment([font](EnvironmentValues& e) { e.font = font; });
}
AnyView AnyView::fontWeight(FontWeight weight) const {
    return environment([weight](EnvironmentValues& e) { e.fontWeight = weight; });
}
AnyView AnyView::italic() const {
    return environment([](EnvironmentValues& e) { e.italic = true; });
}
AnyView AnyView::foregroundColor(Color color) const {
    return environment([color](EnvironmentValues& e) { e.foregroundColor = color; });
}
AnyView AnyView::disabled(bool disabled) const {
    if (!disabled) return *this;
    return environment([](EnvironmentValues& e) { e.isEnabled = false; });
}
AnyView AnyView::buttonStyle(ButtonStyle style) const {
    return environment([style](EnvironmentValues& e) { e.buttonStyle = style; });
}
AnyView AnyView::textFieldStyle(TextFieldStyle style) const {
    return environment([style](EnvironmentValues& e) { e.textFieldStyle = style; });
}
AnyView AnyView::toggleStyle(ToggleStyle style) const {
    return environment([style](EnvironmentValues& e) { e.toggleStyle = style; });
}
AnyView AnyView::pickerStyle(PickerStyle style) const {
    return environment([style](EnvironmentValues& e) { e.pickerStyle = style; });
}
AnyView AnyView::menuStyle(MenuStyle style) const {
    return environment([style](EnvironmentValues& e) { e.menuStyle = style; });
}
AnyView AnyView::menuIndicator(bool visible) const {
    return environment([visible](EnvironmentValues& e) { e.menuIndicatorHidden = !visible; });
}
AnyView AnyView::labelsHidden() const {
    return environment([](EnvironmentValues& e) { e.labelsHidden = true; });
}
AnyView AnyView::preferredColorScheme(ColorScheme scheme) const {
    return environment([scheme](EnvironmentValues& e) { e.colorScheme = scheme; });
}

// --- Identity, queries, input ---

AnyView AnyView::id(std::string id) const {
    auto d = copy();
    d->attrs->id = std::move(id);
    return AnyView(std::move(d));
}
AnyView AnyView::tag(Tag tag) const {
    auto d = copy();
    d->attrs->tag = std::move(tag);
    return AnyView(std::move(d));
}
AnyView AnyView::testId(std::string id) const {
    auto d = copy();
    d->attrs->testId = std::move(id);
    return AnyView(std::move(d));
}
AnyView AnyView::scrollsToTopOnChange(std::string key) const {
    auto d = copy();
    d->attrs->scrollResetKey = std::move(key);
    return AnyView(std::move(d));
}
AnyView AnyView::onRowSubmit(std::function<void(const Tag&)> action) const {
    auto d = copy();
    d->attrs->rowSubmit = std::move(action);
    return AnyView(std::move(d));
}
AnyView AnyView::menuBar() const {
    auto d = copy();
    d->attrs->menuBar = true;
    return AnyView(std::move(d));
}
AnyView AnyView::privacySensitive() const {
    auto d = copy();
    d->attrs->privacySensitive = true;
    return AnyView(std::move(d));
}
AnyView AnyView::help(TextValue text) const {
    auto d = copy();
    if (!d->attrs->help) d->attrs->help = std::move(text);
    return AnyView(std::move(d));
}
AnyView AnyView::keyboardShortcut(KeyboardShortcut shortcut) const {
    auto d = copy();
    if (!d->attrs->shortcut) d->attrs->shortcut = std::move(shortcut);
    return AnyView(std::move(d));
}
AnyView AnyView::navigationTitle(TextValue title) const {
    auto d = copy();
    if (!d->attrs->navigationTitle) d->attrs->navigationTitle = std::move(title);
    return AnyView(std::move(d));
}

// --- Lifecycle ---

AnyView AnyView::onAppear(std::function<void()> action) const {
    auto d = copy();
    d->attrs->onAppear.push_back(std::move(action));
    return AnyView(std::move(d));
}
AnyView AnyView::onDisappear(std::function<void()> action) const {
    auto d = copy();
    d->attrs->onDisappear.push_back(std::move(action));
    return AnyView(std::move(d));
}
AnyView AnyView::addReceiver(detail::ReceiveSpec desc) const {
    auto d = copy();
    d->attrs->receivers.push_back(std::move(desc));
    return AnyView(std::move(d));
}
AnyView AnyView::addChange(detail::ChangeSpec desc) const {
    auto d = copy();
    d->attrs->changes.push_back(std::move(desc));
    return AnyView(std::move(d));
}

AnyView AnyView::onReceive(NotificationCenter& center, std::string name,
                           std::function<void(const Notification&)> action) const {
    detail::ReceiveSpec desc;
    // The centre and the name together name the publisher.
    desc.source = &center;
    desc.sourceName = name;
    desc.subscribe = [&center, name](std::function<void(const void*)> deliver) {
        auto token = center.addObserver(name, Object(), [deliver](const Notification& n) { deliver(&n); });
        return AnyCancellable([token]() mutable { token.reset(); });
    };
    desc.action = [action = std::move(action)](const void* n) {
        if (action) action(*static_cast<const Notification*>(n));
    };
    return addReceiver(std::move(desc));
}

// --- Presentation ---

AnyView AnyView::sheet(Binding<bool> isPresented, std::function<AnyView()> content,
                       std::function<void()> onDismiss) const {
    PresentationSpec desc;
    desc.kind = PresentationSpec::Kind::Sheet;
    desc.isPresented = [isPresented] { return isPresented.get(); };
    desc.dismiss = [isPresented] { isPresented.set(false); };
    desc.sheetContent = std::move(content);
    desc.onDismiss = std::move(onDismiss);
    auto d = copy();
    d->attrs->presentations.push_back(std::move(desc));
    return AnyView(std::move(d));
}

AnyView AnyView::alert(Binding<bool> isPresented, std::function<Alert()> content) const {
    return addAlert([isPresented] { return isPresented.get(); }, [isPresented] { isPresented.set(false); },
                    [content]() -> std::optional<Alert> { return content ? content() : Alert{}; });
}

AnyView AnyView::addAlert(std::function<bool()> isPresented, std::function<void()> dismiss,
                          std::function<std::optional<Alert>()> content) const {
    PresentationSpec desc;
    desc.kind = PresentationSpec::Kind::Alert;
    desc.isPresented = std::move(isPresented);
    desc.dismiss = std::move(dismiss);
    desc.alertContent = std::move(content);
    auto d = copy();
    d->attrs->presentations.push_back(std::move(desc));
    return AnyView(std::move(d));
}

} // namespace plat::ui
