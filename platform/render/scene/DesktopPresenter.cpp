#include "platform/render/scene/DesktopPresenter.h"

#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/scene/DesktopWindow.h"
#include "platform/render/ui/DesktopPasteboard.h"
#include "platform/render/ui/FontMetrics.h"

namespace plat::render {

std::shared_ptr<DesktopPresenter> DesktopPresenter::makeIfDisplayAvailable(std::string defaultIcon) {
    if (!WindowSystem::available()) return nullptr;
    // Text fields cut, copy and paste through the desktop's clipboard from now on.
    DesktopPasteboard::install();
    return std::shared_ptr<DesktopPresenter>(new DesktopPresenter(std::move(defaultIcon)));
}

DesktopPresenter::DesktopPresenter(std::string defaultIcon)
    : metrics_(std::make_shared<FontMetrics>()), defaultIcon_(std::move(defaultIcon)) {}

std::unique_ptr<scene::WindowPresentation> DesktopPresenter::present(const std::shared_ptr<Window>& window,
                                                                     const std::shared_ptr<ui::Host>& host,
                                                                     double barHeight) {
    return std::make_unique<DesktopWindow>(window, host, defaultIcon_, barHeight);
}

void DesktopPresenter::run(Application& application) {
    auto& loop = WindowSystem::shared();
    application.finishLaunching();
    application.activate();
    // The first pass shows the windows installed at launch.
    application.updateWindows();
    // terminate() posts to the main queue, which wakes a turn that is waiting.
    while (!application.isTerminating()) {
        loop.runOnce();
        if (!application.isTerminating()) application.updateWindows();
    }
    const auto windows = application.windows();
    for (const auto& window : windows)
        window->close();
}

} // namespace plat::render
