// Turns a display list into drawing for one frame of a window: shapes, text and images go to the
// frame's draw list, text fields and the alert become interactive widgets. Runs between the start
// and the end of a frame, with the window's drawing context current. Main thread only.
#pragma once

#include "platform/render/DisplayList.h"
#include "platform/render/FontBook.h"
#include "platform/render/Surface.h"

#include <functional>
#include <string>

namespace plat::render {

class Painter {
public:
    struct Context {
        const FontBook::Faces* faces = nullptr;
        Size contentSize;
        double time = 0; // seconds, for animations
        // The texture of a bundle image and its pixel size; 0 when there is none.
        std::function<void*(const std::string& name)> texture;
        // The texture of pixels made for a frame; kept while later frames draw the same pixels.
        std::function<void*(const std::shared_ptr<const Bitmap>& pixels)> pixelsTexture;
        // Receives text edits and alert presses.
        std::function<void(InputEvent)> emit;
    };

    explicit Painter(Context context) : ctx_(std::move(context)) {}

    // Draws every command of the list inside the current frame.
    void paint(const DisplayList& list);

private:
    void paintTextField(const cmd::TextField& field);
    void paintAlert(const cmd::Alert& alert);
    void paintSpinner(const cmd::Spinner& spinner);
    void paintSymbol(const cmd::Symbol& symbol);
    void paintText(const cmd::Text& text);

    Context ctx_;
};

} // namespace plat::render
