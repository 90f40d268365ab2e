// What a window shows in one frame: a flat list of drawing commands in window coordinates (points,
// origin at the top-left of the content area, y downwards). The toolkit's laid-out tree is turned
// into one of these; a renderer only draws it. Plain data: building one needs no display.
#pragma once

#include "platform/render/Bitmap.h"

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace plat::render {

struct Point {
    float x = 0, y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    float width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    float x = 0, y = 0, width = 0, height = 0;
    float maxX() const { return x + width; }
    float maxY() const { return y + height; }
    bool contains(Point p) const { return p.x >= x && p.y >= y && p.x < maxX() && p.y < maxY(); }
    // The overlap of two rectangles; zero-sized when they do not meet.
    Rect intersection(const Rect& other) const;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Straight (not premultiplied) colour, each channel 0...1.
struct Color {
    float r = 0, g = 0, b = 0, a = 1;
    static Color rgb(uint32_t hex, float alpha = 1.0f); // 0xRRGGBB
    Color withAlpha(float alpha) const { return {r, g, b, alpha}; }
    // 0xAABBGGRR, the packing the GPU side uses.
    uint32_t packed() const;
    friend bool operator==(const Color&, const Color&) = default;
};

// A font request: the renderer picks its nearest baked face and scales it.
struct Font {
    float size = 13;
    bool bold = false;
    friend bool operator==(const Font&, const Font&) = default;
};

namespace cmd {

struct FillRect {
    Rect rect;
    Color color;
    float cornerRadius = 0;
};
struct StrokeRect {
    Rect rect;
    Color color;
    float cornerRadius = 0;
    float lineWidth = 1;
};
struct FillEllipse {
    Rect rect;
    Color color;
};
struct StrokeEllipse {
    Rect rect;
    Color color;
    float lineWidth = 1;
};
struct Line {
    Point from, to;
    Color color;
    float width = 1;
};
// A convex polygon, filled; `closed` strokes the outline instead when `strokeWidth` > 0.
struct Polygon {
    std::vector<Point> points;
    Color color;
    float strokeWidth = 0;
};
// One run of UTF-8 text whose first line box starts at `origin` (top-left). Wraps at `wrapWidth`
// when it is above zero; each line is `lineHeight` high (zero: the font size) with the glyphs
// centred in it; `underline` draws a line under each line of text in `underlineColor`.
struct Text {
    Point origin;
    std::string text;
    Font font;
    Color color;
    float wrapWidth = 0;
    float lineHeight = 0;
    bool underline = false;
    Color underlineColor;
};
// A named symbol (see SymbolTable), fitted into `rect` and centred.
struct Symbol {
    Rect rect;
    std::string name;
    Color color;
};
// A named bundle image stretched into `rect`, multiplied by `tint`; or, when `pixels` is set, those
// pixels (a picture made for this frame, such as the map's land and water).
struct Image {
    Rect rect;
    std::string name;
    Color tint{1, 1, 1, 1};
    std::shared_ptr<const Bitmap> pixels{};
};
// An indeterminate progress indicator filling `rect`; animates while it is shown.
struct Spinner {
    Rect rect;
    Color color{0.45f, 0.45f, 0.45f, 1};
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
    Color color;
    Color placeholderColor{0.55f, 0.55f, 0.55f, 1};
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
    Color background{1, 1, 1, 1};

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
    DisplayList& fillRect(Rect r, Color c, float radius = 0);
    DisplayList& strokeRect(Rect r, Color c, float radius = 0, float width = 1);
    DisplayList& text(Point origin, std::string s, Font f, Color c);
    DisplayList& symbol(Rect r, std::string name, Color c);
    DisplayList& image(Rect r, std::string name);
    DisplayList& pushClip(Rect r);
    DisplayList& popClip();

private:
    std::vector<Command> commands_;
};

} // namespace plat::render
