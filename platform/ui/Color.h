// A colour as the screens name it: a fixed RGBA value, a semantic colour that the renderer resolves
// for the colour scheme (primary, secondary, accent), or a named colour of the application's assets.
// Values compare by content, so tests can check what a node carries.
#pragma once

#include <string>

namespace plat::ui {

class Color {
public:
    enum class Kind { RGBA, Primary, Secondary, Accent, Asset, Clear };

    // Opaque black, the default of a default-constructed colour.
    Color() = default;
    static Color rgba(double r, double g, double b, double a = 1.0);
    static Color white() { return rgba(1, 1, 1); }
    static Color black() { return rgba(0, 0, 0); }
    static Color gray() { return {Kind::RGBA, "gray", 0.5, 0.5, 0.5, 1}; }
    static Color red() { return {Kind::RGBA, "red", 1.0, 0.23, 0.19, 1}; }
    static Color green() { return {Kind::RGBA, "green", 0.2, 0.78, 0.35, 1}; }
    static Color blue() { return {Kind::RGBA, "blue", 0.0, 0.48, 1.0, 1}; }
    static Color clear() { return {Kind::Clear, "clear", 0, 0, 0, 0}; }
    static Color primary() { return {Kind::Primary, "primary", 0, 0, 0, 1}; }
    static Color secondary() { return {Kind::Secondary, "secondary", 0, 0, 0, 1}; }
    static Color accent() { return {Kind::Accent, "accentColor", 0.0, 0.48, 1.0, 1}; }
    // A colour of the application's asset catalogue, resolved by the renderer.
    static Color named(std::string assetName);

    // The same colour with its alpha multiplied by `factor` (clamped to 0...1).
    Color opacity(double factor) const;

    Kind kind() const { return kind_; }
    // The name it was made with ("blue", an asset name), empty for plain RGBA values.
    const std::string& name() const { return name_; }
    // Components 0...1 (for semantic and asset colours, the renderer's fallback).
    double r() const { return r_; }
    double g() const { return g_; }
    double b() const { return b_; }
    double alpha() const { return a_; }

    // "blue", "gray@0.7", "asset:rightBarColor", "rgba(1,0.5,0,1)".
    std::string description() const;
    bool operator==(const Color&) const = default;

private:
    Color(Kind kind, std::string name, double r, double g, double b, double a)
        : kind_(kind), name_(std::move(name)), r_(r), g_(g), b_(b), a_(a) {}
    Kind kind_ = Kind::RGBA;
    std::string name_ = "black";
    double r_ = 0, g_ = 0, b_ = 0, a_ = 1;
};

} // namespace plat::ui
