// The toolkit's pasteboards on the desktop: the general pasteboard is the X clipboard, the
// selection pasteboard the primary selection (see DesktopSelections). Main thread only.
#pragma once

namespace plat::render {

class DesktopPasteboard {
public:
    // Hands the toolkit's pasteboards to the desktop when an X server can be reached; returns
    // whether it did. Later calls do nothing more.
    static bool install();
};

} // namespace plat::render
