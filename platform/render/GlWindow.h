// A Surface on the desktop: a GLFW window with its own OpenGL context and its own Dear ImGui
// context (fonts from FontBook, images from ImageStore). Input is queued while the window library
// reports it and handed to the event handler by the event loop, outside the library's callbacks,
// so a handler may close windows. Made by WindowSystem; main thread only.
#pragma once

#include "platform/render/Surface.h"

#include <memory>

namespace plat::render {

class GlWindow final : public Surface {
public:
    explicit GlWindow(const WindowOptions& options);
    ~GlWindow() override;
    GlWindow(const GlWindow&) = delete;
    GlWindow& operator=(const GlWindow&) = delete;

    Size contentSize() const override;
    void setContentSize(Size size) override;
    Size frameSize() const override;
    void setFrameSize(Size size) override;
    Point position() const override;
    void setPosition(Point position) override;
    void setMinimumContentSize(Size size) override;
    void setTitle(const std::string& title) override;
    std::string title() const override;
    void setVisible(bool visible) override;
    bool isVisible() const override;
    void setIconified(bool iconified) override;
    bool isIconified() const override;
    void setMaximizable(bool maximizable) override;
    bool isMaximized() const override;
    void restoreFromMaximized() override;
    void bringToFront() override;
    bool setIconImage(const std::string& imageName) override;

    void present(const DisplayList& list) override;
    void setNeedsDisplay() override;
    void setDisplayHandler(std::function<void(Surface&)> handler) override;
    void setEventHandler(std::function<void(const InputEvent&)> handler) override;
    void setFocusHandler(std::function<void(bool focused)> handler) override;

    bool writeScreenshot(const std::filesystem::path& path) override;
    std::vector<uint8_t> readPixels(int* width, int* height) override;

    bool acceptsInput() const override;
    Surface* parent() const override;

    // Event loop side.
    // Hands queued focus changes to the focus handler and queued input to the event handler;
    // returns how many input events went out.
    size_t deliverEvents();
    // Calls the display handler (or redraws the last list) when a frame is due.
    void displayIfNeeded();
    bool needsDisplay() const;
    // Whether the window redraws by itself (a spinner, a blinking text cursor).
    bool animating() const;
    // The parent window is going away.
    void detachFromParent();
    void childOpened(GlWindow* sheet);
    void childClosed(GlWindow* sheet);

    // Test hooks: feed input as if the desktop had sent it (pointer position in points).
    void simulateMouseClick(Point position, int button = 0);
    void simulateMouseMove(Point position);
    void simulateKey(int key, int mods = 0);
    void simulateText(const std::string& utf8);
    void simulateScroll(Point position, double dx, double dy);
    void simulateCloseRequest();
    void simulateFocus(bool focused);

    struct Impl;

private:
    void applyMinimum(int width, int height);
    std::unique_ptr<Impl> impl_;
};

} // namespace plat::render
