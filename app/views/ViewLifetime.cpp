#include "app/views/ViewLifetime.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/dispatch/DispatchQueue.h"

void deferWhileAlive(std::weak_ptr<ViewLifetime> lifetime, std::function<void()> work) {
    plat::mainQueue().async([lifetime = std::move(lifetime), work = std::move(work)] {
        auto token = lifetime.lock();
        if (!token || token->ended) return;
        work();
    });
}

plat::ui::AnyView endsWith(plat::ui::AnyView content, const std::shared_ptr<ViewLifetime>& lifetime) {
    return content.onDisappear([lifetime] { lifetime->ended = true; });
}

void setMainWindowFrameSize(double width, double height) {
    auto window = plat::Application::shared().mainWindow();
    if (!window) return;
    plat::ScreenRect frame = window->frame();
    frame.size = plat::Size{width, height};
    window->setFrame(frame, true);
}
