#include "app/desktop/DesktopPresenter.h"

#include "app/desktop/DesktopWindow.h"
#include "platform/appkit/Application.h"
#include "platform/appkit/Window.h"
#include "platform/render/WindowSystem.h"
#include "platform/render/ui/FontMetrics.h"

std::shared_ptr<DesktopPresenter> DesktopPresenter::makeIfDisplayAvailable() {
    if (!plat::render::WindowSystem::available()) return nullptr;
    return std::shared_ptr<DesktopPresenter>(new DesktopPresenter());
}

DesktopPresenter::DesktopPresenter() : metrics_(std::make_shared<plat::render::FontMetrics>()) {}

std::unique_ptr<plat::scene::WindowPresentation>
DesktopPresenter::present(const std::shared_ptr<plat::Window>& window,
                          const std::shared_ptr<plat::ui::Host>& host) {
    return std::make_unique<DesktopWindow>(window, host);
}

void DesktopPresenter::run(plat::Application& application) {
    auto& loop = plat::render::WindowSystem::shared();
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
