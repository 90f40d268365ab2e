// What a window shows in one frame: a flat list of drawing commands in window coordinates (points,
// origin at the top-left of the content area, y downwards). The toolkit's laid-out tree is turned
// into one of these; a renderer only draws it. Plain data: building one needs no display.
#pragma once

#include "platform/geometry/Geometry.h"
#include "platform/geometry/RGBA.h"
#include "platform/render/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace plat::render {

// A font request: the renderer picks its nearest baked face and scales it.
struct Font {
    double size = 13;
    bool bold = false;
    friend bool operator==(const Font&, const Font&) = default;
};

namespace cmd {

struct FillRect {
    Rect rect;
    RGBA color;
    double cornerRadius = 0;
};
struct StrokeRect {
    Rect rect;
    RGBA color;
    double cornerRadius = 0;
    double lineWidth = 1;
};
struct FillEllipse {
    Rect rect;
    RGBA color;
};
struct StrokeEllipse {
    Rect rect;
    RGBA color;
    double lineWidth = 1;
};
struct Line {
    Point from, to;
    RGBA color;
    double width = 1;
};
// A convex polygon, filled; `closed` strokes the outline instead when `strokeWidth` > 0.
struct Polygon {
    std::vector<Point> points;
    RGBA color;
    double strokeWidth = 0;
};
// One run of UTF-8 text whose first line box starts at `origin` (top-left). Wraps at `wrapWidth`
// when it is above zero; each line is `lineHeight` high (zero: the font size) with the glyphs
// centred in it; `underline` draws a line under each line of text in `underlineColor`.
struct Text {
    Point origin;
    std::string text;
    Font font;
    RGBA color;
    double wrapWidth = 0;
    double lineHeight = 0;
    bool underline = false;
    RGBA underlineColor;
};
// A named symbol (see SymbolTable), fitted into `rect` and centred.
struct Symbol {
    Rect rect;
    std::string name;
    RGBA color;
};
// A named bundle image stretched into `rect`, multiplied by `tint`; or, when `pixels` is set, those
// pixels (a picture made for this frame, such as the map's land and water).
struct Image {
    Rect rect;
    std::string name;
    RGBA tint{1, 1, 1, 1};
    std::shared_ptr<const Bitmap> pixels{};
};
// An indeterminate progress indicator filling `rect`; animates while it is shown.
struct Spinner {
    Rect rect;
    RGBA color{0.45f, 0.45f, 0.45f, 1};
};
// Clips every command up to the matching PopClip to `rect` (and the clips around it).
struct PushClip {
    Rect rect;
};
struct PopClip {};
// An editable single-line text field; edits come back as TextEdited events with `id`.
struct TextField {
    std::string id;
    Rect rect;
    std::string text;
    std::string placeholder;
    bool secure = false;
    bool focused = false;
    Font font;
    RGBA color;
    RGBA placeholderColor{0.55f, 0.55f, 0.55f, 1};
};
// A modal alert over the whole window; a press comes back as an AlertButton event with the index.
struct AlertButton {
    std::string title;
    bool destructive = false;
};
struct Alert {
    std::string title;
    std::string message;
    std::vector<AlertButton> buttons;
};

} // namespace cmd

using Command = std::variant<cmd::FillRect, cmd::StrokeRect, cmd::FillEllipse, cmd::StrokeEllipse, cmd::Line,
                             cmd::Polygon, cmd::Text, cmd::Symbol, cmd::Image, cmd::Spinner, cmd::PushClip,
                             cmd::PopClip, cmd::TextField, cmd::Alert>;

class DisplayList {
public:
    // The colour the window is cleared to before the commands are drawn.
    RGBA background{1, 1, 1, 1};

    void add(Command command) { commands_.push_back(std::move(command)); }
    const std::vector<Command>& commands() const { return commands_; }
    bool empty() const { return commands_.empty(); }
    void clear() { commands_.clear(); }

    // Whether the list animates on its own (it holds a spinner), so the window redraws while idle.
    bool animates() const;
    // The alert of the list, if any (the last one wins).
    const cmd::Alert* alert() const;
    // Whether every PushClip has its PopClip and no PopClip comes first.
    bool clipsBalanced() const;

    // Builders for the common commands.
    DisplayList& fillRect(Rect r, RGBA c, double radius = 0);
    DisplayList& strokeRect(Rect r, RGBA c, double radius = 0, double width = 1);
    DisplayList& text(Point origin, std::string s, Font f, RGBA c);
    DisplayList& symbol(Rect r, std::string name, RGBA c);
    DisplayList& image(Rect r, std::string name);
    DisplayList& pushClip(Rect r);
    DisplayList& popClip();

private:
    std::vector<Command> commands_;
};

} // namespace plat::render
