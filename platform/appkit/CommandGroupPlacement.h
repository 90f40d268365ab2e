// The standard command groups of the menu bar, which an application's commands replace or sit
// before or after: the About item, Settings, the New item, the edit commands and so on.
#pragma once

namespace plat {

enum class CommandGroupPlacement {
    appInfo,
    appSettings,
    systemServices,
    appVisibility,
    appTermination,
    newItem,
    saveItem,
    importExport,
    printItem,
    undoRedo,
    pasteboard,
    textEditing,
    textFormatting,
    toolbar,
    sidebar,
    windowSize,
    windowArrangement,
    help,
};

} // namespace plat
