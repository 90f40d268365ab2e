#include "app/tour/TourWindow.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/scene/HostedWindowContent.h"

namespace {

plat::scene::HostedWindowContent* hosted(plat::Window& window) {
    return dynamic_cast<plat::scene::HostedWindowContent*>(window.content().get());
}

} // namespace

std::shared_ptr<plat::Window> TourWindow::mainWindow() {
    auto& application = plat::Application::shared();
    if (auto window = application.mainWindow()) return window;
    const auto& windows = application.windows();
    return windows.empty() ? nullptr : windows.front();
}

plat::ui::Host* TourWindow::host(plat::Window& window) {
    auto* content = hosted(window);
    return content ? &content->host() : nullptr;
}

bool TourWindow::writeScreenshot(plat::Window& window, const std::filesystem::path& path) {
    auto* content = hosted(window);
    auto* presentation = content ? content->presentation() : nullptr;
    return presentation && presentation->writeScreenshot(path);
}
