// What the demo tour needs of the application's windows: the main window, the view tree it shows
// and a screenshot of it as the desktop shows it. Main thread only.
#pragma once

#include <filesystem>
#include <memory>

namespace plat {
class Window;
}
namespace plat::ui {
class Host;
}

class TourWindow {
public:
    // The application's main window, else its first window; null without windows.
    static std::shared_ptr<plat::Window> mainWindow();
    // The tree the window shows; null when its content is not a view tree.
    static plat::ui::Host* host(plat::Window& window);
    // Writes the window as shown on the desktop; false for a window without one (headless) or when
    // the file cannot be written.
    static bool writeScreenshot(plat::Window& window, const std::filesystem::path& path);
};
