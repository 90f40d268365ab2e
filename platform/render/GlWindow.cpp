#include "platform/render/GlWindow.h"

#include "platform/render/FontBook.h"
#include "platform/render/ImageStore.h"
#include "platform/render/Painter.h"
#include "platform/render/WindowSystem.h"

#include <backends/imgui_impl_glfw.h>
#include <backends/imgui_impl_opengl3.h>
#include <imgui.h>

#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace plat::render {

struct GlWindow::Impl {
    GlWindow* owner = nullptr;
    GLFWwindow* window = nullptr;
    ImGuiContext* imgui = nullptr;
    FontBook::Faces faces;
    std::string title;
    GlWindow* parent = nullptr;
    std::vector<GlWindow*> sheets; // open sheets over this window, oldest first
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    uint64_t framesDrawn = 0;
    int minimumWidth = 1, minimumHeight = 1; // the size limit the window manager was last told
    // A size asked for that the desktop has not reported back yet, and when it was asked for: until
    // then the window's size is the one asked for, so nothing takes the old size for the user's.
    std::optional<std::pair<int, int>> pendingSize;
    double pendingSince = 0;
    // The same for a move the application asked for (the content's top-left corner).
    std::optional<std::pair<int, int>> pendingPosition;
    double pendingPositionSince = 0;
    // Shown, and not yet checked to lie whole in the work area where the window manager put it.
    bool placing = false;
    DisplayList last;
    int framesDue = 1; // frames still to draw: input takes two, so the widgets settle
    bool textInputActive = false;
    std::function<void(Surface&)> displayHandler;
    std::function<void(const InputEvent&)> eventHandler;
    std::function<void(bool)> focusHandler;
    std::vector<bool> pendingFocus; // focus changes the event loop has yet to hand out
    std::deque<InputEvent> pending;
    std::map<std::string, GLuint> textures; // 0: no such image
    // Textures of pixels made for frames, by the pixels they show; those a frame did not draw go
    // after it.
    struct Made {
        std::shared_ptr<const Bitmap> pixels;
        GLuint id = 0;
        bool used = false;
    };
    std::map<const Bitmap*, Made> made;

    // Makes this window's drawing and widget contexts current.
    void makeCurrent() const {
        glfwMakeContextCurrent(window);
        ImGui::SetCurrentContext(imgui);
    }

    static Impl* of(GLFWwindow* w) { return static_cast<Impl*>(glfwGetWindowUserPointer(w)); }

    // Runs `forward` with this window's widget context current (input arrives for any window).
    template <typename F> void withContext(F&& forward) {
        ImGuiContext* previous = ImGui::GetCurrentContext();
        ImGui::SetCurrentContext(imgui);
        forward();
        ImGui::SetCurrentContext(previous);
    }

    void queue(InputEvent e) {
        pending.push_back(std::move(e));
        framesDue = std::max(framesDue, 2);
    }
    // A pointer move, which replaces one queued just before it.
    void queueMove(const InputEvent& e) {
        hover = e.position;
        if (!pending.empty() && pending.back().kind == InputEvent::Kind::MouseMove)
            pending.back() = e;
        else
            queue(e);
    }

    // Where the desktop last reported the pointer in the window, as of the events taken so far;
    // none before the first report. The window library reports a place only when it differs from
    // the last one it reported, for a motion and for an entry alike.
    std::optional<Point> pointer;
    // The window moved (or grew from its top or left side) since that report. The desktop sends
    // no motion when a window moves under a still pointer, and a window manager that moves a
    // window along with the pointer tells it after the pointer came back in: either way the place
    // reported last is no longer where the pointer is in the window, and a motion back onto that
    // same place in the window goes unreported.
    bool movedSincePointer = false;
    // The content's top-left corner on the screen as the desktop last reported it.
    std::pair<int, int> reportedPosition{0, 0};
    // Where the last pointer move queued put the pointer, for hover and drags.
    std::optional<Point> hover;

    // Where the pointer was in the window at the event being handled. While the last report
    // holds, that is the place reported before this event: asking the desktop instead answers
    // where the pointer is by now, which for a press taken late (a slow frame) is somewhere along
    // the drag that followed it. After a move, only the desktop knows.
    Point pointerAtEvent() const {
        if (pointer && !movedSincePointer) return *pointer;
        return pointerNow();
    }
    Point pointerNow() const {
        double x = 0, y = 0;
        glfwGetCursorPos(window, &x, &y);
        return {x, y};
    }
    // After a move of the window, until the next report: a move to where the desktop has the
    // pointer now, when that is not where the last move put it. Asked on each turn of the loop
    // (a motion the window library does not report still wakes it) and before each press, release
    // and wheel turn, so a drag or hover is where the pointer is before they act.
    void followPointerAfterMove() {
        if (!movedSincePointer || !pointer || blocked()) return;
        InputEvent e;
        e.kind = InputEvent::Kind::MouseMove;
        e.position = pointerNow();
        if (e.position != hover) queueMove(e);
    }

    // A window under an open sheet takes no input; a click on it brings the sheet forward.
    bool blocked() const { return !sheets.empty(); }
    void raiseSheet() const {
        if (!sheets.empty() && sheets.back()->impl_->window) glfwFocusWindow(sheets.back()->impl_->window);
    }

    void* texture(const std::string& name);
    void* texture(const std::shared_ptr<const Bitmap>& pixels);
    void dropUnusedMade();
    void renderFrame(const DisplayList& list, Bitmap* readBack);
    void installCallbacks();

    std::pair<int, int> size() const;
    std::pair<int, int> topLeft() const;
    void moveTo(int x, int y);
    // Where a content area of `width` by `height` with its top-left corner at (x, y) has to go to
    // lie whole in the work area, frame included: moved just as far as that takes.
    std::pair<int, int> wholeAt(int x, int y, int width, int height) const;
    // Moves the window there when its content area at `width` by `height` would leave the work area.
    void keepWhole(int width, int height);
    // Once the window manager has put a window just shown on the screen: keeps it whole there.
    void checkPlacement();
};

namespace {

// The key codes of the window library and of Surface are the same numbers; keep them honest.
static_assert(keys::Return == GLFW_KEY_ENTER && keys::Escape == GLFW_KEY_ESCAPE &&
              keys::Tab == GLFW_KEY_TAB && keys::Backspace == GLFW_KEY_BACKSPACE &&
              keys::Left == GLFW_KEY_LEFT && keys::Up == GLFW_KEY_UP);
static_assert(keys::ModShift == GLFW_MOD_SHIFT && keys::ModControl == GLFW_MOD_CONTROL &&
              keys::ModAlt == GLFW_MOD_ALT);

} // namespace

void GlWindow::Impl::installCallbacks() {
    glfwSetWindowUserPointer(window, this);
    glfwSetCursorPosCallback(window, [](GLFWwindow* w, double x, double y) {
        Impl* self = of(w);
        self->pointer = Point{x, y};
        self->movedSincePointer = false;
        if (self->blocked()) return; // the widget layer polls the pointer itself
        InputEvent e;
        e.kind = InputEvent::Kind::MouseMove;
        e.position = {x, y};
        self->queueMove(e);
    });
    glfwSetMouseButtonCallback(window, [](GLFWwindow* w, int button, int action, int mods) {
        Impl* self = of(w);
        if (self->blocked()) {
            if (action == GLFW_PRESS) self->raiseSheet();
            return;
        }
        self->withContext([&] { ImGui_ImplGlfw_MouseButtonCallback(w, button, action, mods); });
        if (button > 2 || self->last.alert()) return; // the alert takes the pointer
        self->followPointerAfterMove();
        InputEvent e;
        e.kind = action == GLFW_PRESS ? InputEvent::Kind::MouseDown : InputEvent::Kind::MouseUp;
        e.position = self->pointerAtEvent();
        e.button = button;
        e.mods = mods;
        self->queue(e);
    });
    glfwSetScrollCallback(window, [](GLFWwindow* w, double dx, double dy) {
        Impl* self = of(w);
        if (self->blocked()) return;
        self->withContext([&] { ImGui_ImplGlfw_ScrollCallback(w, dx, dy); });
        if (self->last.alert()) return;
        self->followPointerAfterMove();
        InputEvent e;
        e.kind = InputEvent::Kind::Scroll;
        e.position = self->pointerAtEvent();
        e.dx = dx;
        e.dy = dy;
        self->queue(e);
    });
    glfwSetKeyCallback(window, [](GLFWwindow* w, int key, int scancode, int action, int mods) {
        Impl* self = of(w);
        if (self->blocked()) return;
        self->withContext([&] { ImGui_ImplGlfw_KeyCallback(w, key, scancode, action, mods); });
        if (action == GLFW_RELEASE) {
            self->framesDue = std::max(self->framesDue, 1);
            return;
        }
        if (const cmd::Alert* alert = self->last.alert()) {
            // Return presses the alert's last button, its default.
            if (key == GLFW_KEY_ENTER && action == GLFW_PRESS && !alert->buttons.empty()) {
                InputEvent e;
                e.kind = InputEvent::Kind::AlertButton;
                e.index = static_cast<int>(alert->buttons.size()) - 1;
                e.text = alert->buttons.back().title;
                self->queue(e);
            }
            return;
        }
        InputEvent e;
        e.kind = InputEvent::Kind::Key;
        e.key = key;
        e.mods = mods;
        e.textFieldActive = self->textInputActive;
        self->queue(e);
    });
    glfwSetCharCallback(window, [](GLFWwindow* w, unsigned int c) {
        Impl* self = of(w);
        if (self->blocked()) return;
        self->withContext([&] { ImGui_ImplGlfw_CharCallback(w, c); });
        if (self->textInputActive || self->last.alert()) {
            self->framesDue = std::max(self->framesDue, 2);
            return;
        }
        InputEvent e;
        e.kind = InputEvent::Kind::Character;
        e.codepoint = c;
        self->queue(e);
    });
    glfwSetWindowFocusCallback(window, [](GLFWwindow* w, int focused) {
        Impl* self = of(w);
        self->withContext([&] { ImGui_ImplGlfw_WindowFocusCallback(w, focused); });
        self->framesDue = std::max(self->framesDue, 1);
        // Reported even while a sheet blocks input: the application's activity follows it.
        self->pendingFocus.push_back(focused == GLFW_TRUE);
        self->framesDue = std::max(self->framesDue, 2);
    });
    glfwSetCursorEnterCallback(window, [](GLFWwindow* w, int entered) {
        Impl* self = of(w);
        self->withContext([&] { ImGui_ImplGlfw_CursorEnterCallback(w, entered); });
    });
    glfwSetWindowCloseCallback(window, [](GLFWwindow* w) {
        Impl* self = of(w);
        // Closing is the window layer's decision: the request becomes an event.
        glfwSetWindowShouldClose(w, GLFW_FALSE);
        if (self->blocked()) return;
        InputEvent e;
        e.kind = InputEvent::Kind::CloseRequest;
        self->queue(e);
    });
    glfwSetFramebufferSizeCallback(
        window, [](GLFWwindow* w, int, int) { of(w)->framesDue = std::max(of(w)->framesDue, 1); });
    // The desktop granted the size asked for; another size (a window manager's own) waits for the
    // request to time out in contentSize(), as an earlier change may still be arriving.
    glfwSetWindowSizeCallback(window, [](GLFWwindow* w, int width, int height) {
        Impl* self = of(w);
        if (self->pendingSize && *self->pendingSize == std::make_pair(width, height))
            self->pendingSize.reset();
    });
    glfwSetWindowPosCallback(window, [](GLFWwindow* w, int x, int y) {
        Impl* self = of(w);
        if (std::make_pair(x, y) != self->reportedPosition) {
            self->reportedPosition = {x, y};
            self->movedSincePointer = true;
            // Hover follows the pointer's place in the window, wherever the move left it.
            self->followPointerAfterMove();
        }
        if (self->pendingPosition && *self->pendingPosition == std::make_pair(x, y))
            self->pendingPosition.reset();
        self->checkPlacement();
    });
    // A window restored from the desktop's list turns the loop, whose update pass sees it.
    glfwSetWindowIconifyCallback(
        window, [](GLFWwindow* w, int) { of(w)->framesDue = std::max(of(w)->framesDue, 1); });
    glfwSetWindowRefreshCallback(window,
                                 [](GLFWwindow* w) { of(w)->framesDue = std::max(of(w)->framesDue, 1); });
}

namespace {

struct Area {
    int x = 0, y = 0, width = 0, height = 0;
    int right() const { return x + width; }
    int bottom() const { return y + height; }
    bool empty() const { return width <= 0 || height <= 0; }
};

Area intersection(const Area& a, const Area& b) {
    const int x = std::max(a.x, b.x), y = std::max(a.y, b.y);
    return {x, y, std::min(a.right(), b.right()) - x, std::min(a.bottom(), b.bottom()) - y};
}

long overlap(const Area& a, const Area& b) {
    const Area common = intersection(a, b);
    return common.empty() ? 0 : static_cast<long>(common.width) * common.height;
}

// Up to `count` values of a CARDINAL property (32-bit format, which Xlib hands out as longs).
std::vector<long> cardinals(Display* display, ::Window window, const char* name, long count) {
    std::vector<long> values;
    const Atom property = XInternAtom(display, name, True);
    if (property == None) return values;
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, count, False, XA_CARDINAL, &type, &format, &n,
                           &after, &data) == Success &&
        data && type == XA_CARDINAL && format == 32) {
        const auto* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + n);
    }
    if (data) XFree(data);
    return values;
}

// The screen's monitors; the whole screen when the window library lists none.
std::vector<Area> monitorAreas(Display* display) {
    std::vector<Area> areas;
    int count = 0;
    GLFWmonitor** monitors = glfwGetMonitors(&count);
    for (int i = 0; i < count; ++i) {
        const GLFWvidmode* mode = glfwGetVideoMode(monitors[i]);
        if (!mode) continue;
        Area area;
        glfwGetMonitorPos(monitors[i], &area.x, &area.y);
        area.width = mode->width;
        area.height = mode->height;
        areas.push_back(area);
    }
    if (areas.empty()) {
        const int screen = DefaultScreen(display);
        areas.push_back({0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)});
    }
    return areas;
}

// Where windows may go on the monitor that shows the most of `frame` (the first, the primary one,
// when none does): the monitor without the panels the window manager keeps clear, as its
// _NET_WORKAREA for the current desktop says. Read anew each time, since panels come and go.
Area workAreaAround(Display* display, const Area& frame) {
    const std::vector<Area> monitors = monitorAreas(display);
    Area monitor = monitors.front();
    long best = 0;
    for (const Area& candidate : monitors) {
        if (const long shown = overlap(candidate, frame); shown > best) {
            best = shown;
            monitor = candidate;
        }
    }
    const ::Window root = DefaultRootWindow(display);
    const std::vector<long> desktop = cardinals(display, root, "_NET_CURRENT_DESKTOP", 1);
    const long index = desktop.empty() ? 0 : desktop.front();
    const std::vector<long> areas = cardinals(display, root, "_NET_WORKAREA", 4 * (index + 1));
    if (index < 0 || areas.size() < static_cast<size_t>(4 * (index + 1))) return monitor;
    const long* a = &areas[static_cast<size_t>(4 * index)];
    const Area work = intersection(monitor, {static_cast<int>(a[0]), static_cast<int>(a[1]),
                                             static_cast<int>(a[2]), static_cast<int>(a[3])});
    return work.empty() ? monitor : work;
}

// The start of a span of `length` moved as little as it takes to lie in [low, high); one longer
// than that starts at `low` (for a window: its title bar stays in reach).
int fitSpan(int start, int length, int low, int high) {
    if (start + length > high) start = high - length;
    return std::max(start, low);
}

} // namespace

std::pair<int, int> GlWindow::Impl::size() const {
    Size s = owner->contentSize();
    return {static_cast<int>(std::lround(s.width)), static_cast<int>(std::lround(s.height))};
}

std::pair<int, int> GlWindow::Impl::topLeft() const {
    int x = 0, y = 0;
    glfwGetWindowPos(window, &x, &y);
    if (pendingPosition) {
        // As for sizes: a desktop that does not answer a move is not waited for.
        if (*pendingPosition != std::make_pair(x, y) && glfwGetTime() - pendingPositionSince <= 1.0)
            return *pendingPosition;
    }
    return {x, y};
}

void GlWindow::Impl::moveTo(int x, int y) {
    pendingPosition = std::make_pair(x, y);
    pendingPositionSince = glfwGetTime();
    glfwSetWindowPos(window, x, y);
}

std::pair<int, int> GlWindow::Impl::wholeAt(int x, int y, int width, int height) const {
    Display* display = glfwGetX11Display();
    // The window manager's frame around the content (its title bar, its borders) is part of what
    // the user needs to see; a window it has not framed yet counts as the content alone.
    std::vector<long> frame = cardinals(display, glfwGetX11Window(window), "_NET_FRAME_EXTENTS", 4);
    frame.resize(4, 0);
    const int left = static_cast<int>(frame[0]), right = static_cast<int>(frame[1]),
              top = static_cast<int>(frame[2]), bottom = static_cast<int>(frame[3]);
    const Area whole{x - left, y - top, width + left + right, height + top + bottom};
    const Area area = workAreaAround(display, whole);
    return {fitSpan(whole.x, whole.width, area.x, area.right()) + left,
            fitSpan(whole.y, whole.height, area.y, area.bottom()) + top};
}

void GlWindow::Impl::keepWhole(int width, int height) {
    const auto at = topLeft();
    const auto whole = wholeAt(at.first, at.second, width, height);
    if (whole != at) moveTo(whole.first, whole.second);
}

void GlWindow::Impl::checkPlacement() {
    if (!placing || !owner->isVisible()) return;
    placing = false;
    const auto [width, height] = size();
    keepWhole(width, height);
}

namespace {

GLuint upload(const Bitmap& bitmap) {
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, bitmap.width, bitmap.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 bitmap.rgba.data());
    return id;
}

} // namespace

void* GlWindow::Impl::texture(const std::string& name) {
    auto it = textures.find(name);
    if (it == textures.end()) {
        GLuint id = 0;
        if (auto bitmap = ImageStore::shared().image(name)) id = upload(*bitmap);
        it = textures.emplace(name, id).first;
    }
    return it->second ? reinterpret_cast<void*>(static_cast<uintptr_t>(it->second)) : nullptr;
}

void* GlWindow::Impl::texture(const std::shared_ptr<const Bitmap>& pixels) {
    if (!pixels || pixels->empty()) return nullptr;
    auto it = made.find(pixels.get());
    if (it == made.end()) it = made.emplace(pixels.get(), Made{pixels, upload(*pixels), false}).first;
    it->second.used = true;
    return reinterpret_cast<void*>(static_cast<uintptr_t>(it->second.id));
}

void GlWindow::Impl::dropUnusedMade() {
    for (auto it = made.begin(); it != made.end();) {
        if (it->second.used) {
            it->second.used = false;
            ++it;
            continue;
        }
        glDeleteTextures(1, &it->second.id);
        it = made.erase(it);
    }
}

void GlWindow::Impl::renderFrame(const DisplayList& list, Bitmap* readBack) {
    makeCurrent();
    int fbw = 0, fbh = 0, ww = 0, wh = 0;
    glfwGetFramebufferSize(window, &fbw, &fbh);
    glfwGetWindowSize(window, &ww, &wh);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplGlfw_NewFrame();
    ImGuiIO& io = ImGui::GetIO();
    if (!(io.DeltaTime > 0)) io.DeltaTime = 1e-4f; // two frames within one clock tick
    ImGui::NewFrame();
    Painter::Context context;
    context.faces = &faces;
    context.contentSize = {static_cast<double>(ww), static_cast<double>(wh)};
    context.time = glfwGetTime();
    context.texture = [this](const std::string& name) { return texture(name); };
    context.pixelsTexture = [this](const std::shared_ptr<const Bitmap>& pixels) { return texture(pixels); };
    context.emit = [this](InputEvent e) { queue(std::move(e)); };
    Painter(std::move(context)).paint(list);
    ImGui::Render();
    glViewport(0, 0, fbw, fbh);
    const RGBA bg = list.background;
    glClearColor(bg.r * bg.a, bg.g * bg.a, bg.b * bg.a, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    dropUnusedMade();
    if (readBack) {
        *readBack = Bitmap(fbw, fbh);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, fbw, fbh, GL_RGBA, GL_UNSIGNED_BYTE, readBack->rgba.data());
        readBack->flipVertically();
        for (size_t i = 3; i < readBack->rgba.size(); i += 4)
            readBack->rgba[i] = 255; // the window is opaque
    }
    glfwSwapBuffers(window);
    textInputActive = io.WantTextInput;
    ++framesDrawn;
}

GlWindow::GlWindow(const WindowOptions& options) : impl_(std::make_unique<Impl>()) {
    impl_->owner = this;
    impl_->title = options.title;
    impl_->parent = dynamic_cast<GlWindow*>(options.parent);
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 0);
    glfwWindowHint(GLFW_RESIZABLE, options.resizable ? GLFW_TRUE : GLFW_FALSE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    const int w = std::max(1, static_cast<int>(std::lround(options.contentSize.width)));
    const int h = std::max(1, static_cast<int>(std::lround(options.contentSize.height)));
    impl_->window = glfwCreateWindow(w, h, options.title.c_str(), nullptr, nullptr);
    if (!impl_->window) {
        // Keep going as an invisible, inert window rather than crash the application.
        impl_->parent = nullptr;
        WindowSystem::shared().add(this);
        return;
    }
    glfwMakeContextCurrent(impl_->window);
    glfwSwapInterval(0);
    impl_->imgui = ImGui::CreateContext();
    ImGui::SetCurrentContext(impl_->imgui);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.LogFilename = nullptr;
    ImGui::StyleColorsLight();
    ImGui::GetStyle().WindowRounding = 10;
    ImGui::GetStyle().FrameRounding = 5;
    ImGui::GetStyle().Colors[ImGuiCol_ModalWindowDimBg] = ImVec4{0, 0, 0, 0}; // the painter dims at once
    impl_->faces = FontBook::shared().populate(*io.Fonts);
    ImGui_ImplGlfw_InitForOpenGL(impl_->window, false);
    ImGui_ImplOpenGL3_Init("#version 130");
    glfwGetWindowPos(impl_->window, &impl_->reportedPosition.first, &impl_->reportedPosition.second);
    impl_->installCallbacks();
    if (impl_->parent && impl_->parent->impl_->window) {
        // A sheet: over the top of its parent, centred, and tied to it for the window manager.
        Point p = impl_->parent->position();
        Size ps = impl_->parent->contentSize();
        setPosition({static_cast<double>(static_cast<int>(p.x + (ps.width - w) / 2)), p.y});
        XSetTransientForHint(glfwGetX11Display(), glfwGetX11Window(impl_->window),
                             glfwGetX11Window(impl_->parent->impl_->window));
        impl_->parent->childOpened(this);
    }
    WindowSystem::shared().add(this);
    if (options.visible) setVisible(true);
}

GlWindow::~GlWindow() {
    *impl_->alive = false;
    WindowSystem::shared().remove(this);
    if (impl_->parent) impl_->parent->childClosed(this);
    if (!impl_->window) return;
    impl_->makeCurrent();
    for (auto& [name, id] : impl_->textures) {
        if (id) glDeleteTextures(1, &id);
    }
    for (auto& [pixels, made] : impl_->made)
        glDeleteTextures(1, &made.id);
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplGlfw_Shutdown();
    ImGui::DestroyContext(impl_->imgui);
    ImGui::SetCurrentContext(nullptr);
    glfwMakeContextCurrent(nullptr);
    glfwDestroyWindow(impl_->window);
}

Size GlWindow::contentSize() const {
    int w = 0, h = 0;
    if (impl_->window) glfwGetWindowSize(impl_->window, &w, &h);
    if (auto& pending = impl_->pendingSize) {
        // A desktop that never answers (no window manager, a size it already had) is not waited for.
        if ((pending->first == w && pending->second == h) || glfwGetTime() - impl_->pendingSince > 1.0)
            pending.reset();
        else
            return {static_cast<double>(pending->first), static_cast<double>(pending->second)};
    }
    return {static_cast<double>(w), static_cast<double>(h)};
}

void GlWindow::setContentSize(Size size) {
    if (!impl_->window) return;
    const int w = std::max(1, static_cast<int>(std::lround(size.width)));
    const int h = std::max(1, static_cast<int>(std::lround(size.height)));
    // The window manager holds a window to its minimum, also against the application: a size
    // below it (new content that needs less) lowers the minimum first. The content's own minimum
    // comes back with its next frame.
    if (w < impl_->minimumWidth || h < impl_->minimumHeight)
        applyMinimum(std::min(w, impl_->minimumWidth), std::min(h, impl_->minimumHeight));
    impl_->pendingSize = std::make_pair(w, h);
    impl_->pendingSince = glfwGetTime();
    glfwSetWindowSize(impl_->window, w, h);
    // Grown below the screen's bottom or past its right edge, the window moves back in; a hidden
    // one is looked at where it is shown.
    if (!impl_->placing && isVisible()) impl_->keepWhole(w, h);
    setNeedsDisplay();
}

void GlWindow::applyMinimum(int width, int height) {
    impl_->minimumWidth = width;
    impl_->minimumHeight = height;
    glfwSetWindowSizeLimits(impl_->window, width, height, GLFW_DONT_CARE, GLFW_DONT_CARE);
    // The window manager grows a window below its new minimum to it: that growth too stays in the
    // work area.
    if (impl_->placing || !isVisible()) return;
    const auto [w, h] = impl_->size();
    if (w < width || h < height) impl_->keepWhole(std::max(w, width), std::max(h, height));
}

Size GlWindow::frameSize() const {
    int l = 0, t = 0, r = 0, b = 0;
    if (impl_->window) glfwGetWindowFrameSize(impl_->window, &l, &t, &r, &b);
    Size c = contentSize();
    return {c.width + (l + r), c.height + (t + b)};
}

void GlWindow::setFrameSize(Size size) {
    int l = 0, t = 0, r = 0, b = 0;
    if (impl_->window) glfwGetWindowFrameSize(impl_->window, &l, &t, &r, &b);
    setContentSize({size.width - (l + r), size.height - (t + b)});
}

Point GlWindow::position() const {
    if (!impl_->window) return {};
    const auto [x, y] = impl_->topLeft();
    return {static_cast<double>(x), static_cast<double>(y)};
}

void GlWindow::setPosition(Point position) {
    if (!impl_->window) return;
    std::pair<int, int> at{static_cast<int>(std::lround(position.x)),
                           static_cast<int>(std::lround(position.y))};
    // Not past the work area's edges either (a hidden window is looked at where it is shown). A
    // place asked for again that comes to where the window is already moves nothing: a sheet
    // whose window asks each frame for a place off the work area stays still.
    if (!impl_->placing && isVisible()) {
        const auto [width, height] = impl_->size();
        at = impl_->wholeAt(at.first, at.second, width, height);
        if (at == impl_->topLeft()) return;
    }
    impl_->moveTo(at.first, at.second);
}

void GlWindow::setMinimumContentSize(Size size) {
    if (!impl_->window) return;
    const int w = std::max(1, static_cast<int>(std::ceil(size.width)));
    const int h = std::max(1, static_cast<int>(std::ceil(size.height)));
    if (w != impl_->minimumWidth || h != impl_->minimumHeight) applyMinimum(w, h);
}

void GlWindow::setTitle(const std::string& title) {
    impl_->title = title;
    if (impl_->window) glfwSetWindowTitle(impl_->window, title.c_str());
}

std::string GlWindow::title() const {
    return impl_->title;
}

void GlWindow::setVisible(bool visible) {
    if (!impl_->window) return;
    if (visible) {
        // The window manager places a window it maps, or takes the place the application gave
        // it; either way the window is to lie whole in the work area, which is looked at once
        // the window is on the screen (at once, or at the next report of its position).
        if (!isVisible()) impl_->placing = true;
        glfwShowWindow(impl_->window);
        impl_->checkPlacement();
        setNeedsDisplay();
    } else {
        impl_->placing = false;
        glfwHideWindow(impl_->window);
    }
}

bool GlWindow::isVisible() const {
    return impl_->window && glfwGetWindowAttrib(impl_->window, GLFW_VISIBLE) == GLFW_TRUE;
}

void GlWindow::setIconified(bool iconified) {
    if (!impl_->window) return;
    if (iconified)
        glfwIconifyWindow(impl_->window);
    else
        glfwRestoreWindow(impl_->window);
}

bool GlWindow::isIconified() const {
    return impl_->window && glfwGetWindowAttrib(impl_->window, GLFW_ICONIFIED) == GLFW_TRUE;
}

namespace {

// The window manager's functions of a window as the Motif hints name them; a window that lists
// some and not others offers only those (maximise among the left-out ones greys and removes its
// button and commands).
constexpr unsigned long kMotifHintsFunctions = 1UL << 0;
constexpr unsigned long kMotifFunctionResize = 1UL << 1, kMotifFunctionMove = 1UL << 2,
                        kMotifFunctionMinimize = 1UL << 3, kMotifFunctionClose = 1UL << 5;

} // namespace

void GlWindow::setMaximizable(bool maximizable) {
    if (!impl_->window) return;
    Display* display = glfwGetX11Display();
    const ::Window xid = glfwGetX11Window(impl_->window);
    const Atom hintsAtom = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    if (maximizable) {
        XDeleteProperty(display, xid, hintsAtom);
    } else {
        long hints[5] = {};
        hints[0] = static_cast<long>(kMotifHintsFunctions);
        unsigned long functions = kMotifFunctionMove | kMotifFunctionMinimize | kMotifFunctionClose;
        if (glfwGetWindowAttrib(impl_->window, GLFW_RESIZABLE) == GLFW_TRUE)
            functions |= kMotifFunctionResize;
        hints[1] = static_cast<long>(functions);
        XChangeProperty(display, xid, hintsAtom, hintsAtom, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(hints), 5);
    }
    XFlush(display);
}

bool GlWindow::isMaximized() const {
    return impl_->window && glfwGetWindowAttrib(impl_->window, GLFW_MAXIMIZED) == GLFW_TRUE;
}

void GlWindow::restoreFromMaximized() {
    if (isMaximized()) glfwRestoreWindow(impl_->window);
}

void GlWindow::bringToFront() {
    if (!impl_->window) return;
    if (isIconified()) glfwRestoreWindow(impl_->window);
    glfwShowWindow(impl_->window);
    glfwFocusWindow(impl_->window);
    setNeedsDisplay();
}

bool GlWindow::setIconImage(const std::string& imageName) {
    // The desktop shows window icons small; a large picture would cost its pixels in this process
    // and twice that on their way to the window's property.
    constexpr int kIconSide = 128;
    auto bitmap = ImageStore::shared().image(imageName, kIconSide, kIconSide);
    if (!bitmap || !impl_->window) return false;
    GLFWimage icon{bitmap->width, bitmap->height, const_cast<unsigned char*>(bitmap->rgba.data())};
    glfwSetWindowIcon(impl_->window, 1, &icon);
    return true;
}

void GlWindow::present(const DisplayList& list) {
    if (&list != &impl_->last) impl_->last = list;
    if (!impl_->window) return;
    impl_->renderFrame(impl_->last, nullptr);
}

void GlWindow::setNeedsDisplay() {
    impl_->framesDue = std::max(impl_->framesDue, 1);
}

void GlWindow::setDisplayHandler(std::function<void(Surface&)> handler) {
    impl_->displayHandler = std::move(handler);
    setNeedsDisplay();
}

void GlWindow::setEventHandler(std::function<void(const InputEvent&)> handler) {
    impl_->eventHandler = std::move(handler);
}

void GlWindow::setFocusHandler(std::function<void(bool focused)> handler) {
    impl_->focusHandler = std::move(handler);
}

bool GlWindow::writeScreenshot(const std::filesystem::path& path) {
    int w = 0, h = 0;
    Bitmap shot;
    shot.rgba = readPixels(&w, &h);
    shot.width = w;
    shot.height = h;
    return shot.writePng(path);
}

std::vector<uint8_t> GlWindow::readPixels(int* width, int* height) {
    Bitmap shot;
    if (impl_->window) impl_->renderFrame(impl_->last, &shot);
    if (width) *width = shot.width;
    if (height) *height = shot.height;
    return std::move(shot.rgba);
}

bool GlWindow::acceptsInput() const {
    return !impl_->blocked();
}

Surface* GlWindow::parent() const {
    return impl_->parent;
}

size_t GlWindow::deliverEvents() {
    if (impl_->window) {
        impl_->checkPlacement();
        impl_->followPointerAfterMove();
    }
    size_t delivered = 0;
    // The handlers may destroy this window: take the events first and stop when it went away.
    std::shared_ptr<bool> alive = impl_->alive;
    std::vector<bool> focusChanges;
    focusChanges.swap(impl_->pendingFocus);
    auto focusHandler = impl_->focusHandler;
    for (bool focused : focusChanges) {
        if (!*alive) return delivered;
        if (focusHandler) focusHandler(focused);
    }
    if (!*alive) return delivered;
    std::deque<InputEvent> events;
    events.swap(impl_->pending);
    auto handler = impl_->eventHandler;
    while (!events.empty() && *alive) {
        InputEvent e = std::move(events.front());
        events.pop_front();
        if (handler) handler(e);
        ++delivered;
    }
    return delivered;
}

void GlWindow::displayIfNeeded() {
    if (!needsDisplay() || !impl_->window) return;
    std::shared_ptr<bool> alive = impl_->alive;
    const uint64_t before = impl_->framesDrawn;
    if (impl_->displayHandler) impl_->displayHandler(*this); // builds a list and presents it
    if (!*alive) return;
    if (impl_->framesDrawn == before) present(impl_->last);
    impl_->framesDue = std::max(0, impl_->framesDue - 1);
}

bool GlWindow::needsDisplay() const {
    return impl_->framesDue > 0 && impl_->window && isVisible();
}

bool GlWindow::animating() const {
    return isVisible() && (impl_->last.animates() || impl_->textInputActive);
}

void GlWindow::detachFromParent() {
    impl_->parent = nullptr;
}

void GlWindow::childOpened(GlWindow* sheet) {
    impl_->sheets.push_back(sheet);
}

void GlWindow::childClosed(GlWindow* sheet) {
    std::erase(impl_->sheets, sheet);
    setNeedsDisplay();
}

} // namespace plat::render

namespace plat::render {

namespace {

// The callback installed on a window, read back by swapping it out and in again.
template <typename Setter> auto installed(GLFWwindow* w, Setter set) {
    auto callback = set(w, nullptr);
    set(w, callback);
    return callback;
}

std::vector<char32_t> codepoints(const std::string& s) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        char32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int k = 1; k < n && i + static_cast<size_t>(k) < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<size_t>(k)]) & 0x3F);
        out.push_back(cp);
        i += static_cast<size_t>(n);
    }
    return out;
}

} // namespace

void GlWindow::simulateMouseMove(Point p) {
    if (!impl_->window) return;
    // Where the desktop puts the pointer: on a whole pixel, as it will report it too. A press is
    // taken where the last move put the pointer, so the move reported here and the desktop's own
    // report of it must agree, and the desktop's report must come in now, not after a later move,
    // which it would then undo.
    const double x = std::trunc(p.x), y = std::trunc(p.y);
    glfwSetCursorPos(impl_->window, x, y);
    XSync(glfwGetX11Display(), False);
    installed(impl_->window, glfwSetCursorPosCallback)(impl_->window, x, y);
}

void GlWindow::simulateMouseClick(Point p, int button) {
    if (!impl_->window) return;
    simulateMouseMove(p);
    auto cb = installed(impl_->window, glfwSetMouseButtonCallback);
    cb(impl_->window, button, GLFW_PRESS, 0);
    cb(impl_->window, button, GLFW_RELEASE, 0);
}

void GlWindow::simulateKey(int key, int mods) {
    if (!impl_->window) return;
    auto cb = installed(impl_->window, glfwSetKeyCallback);
    cb(impl_->window, key, 0, GLFW_PRESS, mods);
    cb(impl_->window, key, 0, GLFW_RELEASE, mods);
}

void GlWindow::simulateText(const std::string& utf8) {
    if (!impl_->window) return;
    auto cb = installed(impl_->window, glfwSetCharCallback);
    for (char32_t c : codepoints(utf8))
        cb(impl_->window, static_cast<unsigned int>(c));
}

void GlWindow::simulateScroll(Point p, double dx, double dy) {
    if (!impl_->window) return;
    simulateMouseMove(p);
    installed(impl_->window, glfwSetScrollCallback)(impl_->window, dx, dy);
}

void GlWindow::simulateCloseRequest() {
    if (!impl_->window) return;
    installed(impl_->window, glfwSetWindowCloseCallback)(impl_->window);
}

void GlWindow::simulateFocus(bool focused) {
    if (!impl_->window) return;
    installed(impl_->window, glfwSetWindowFocusCallback)(impl_->window, focused ? GLFW_TRUE : GLFW_FALSE);
}

} // namespace plat::render
