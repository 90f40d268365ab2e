#include "platform/render/Painter.h"

#include "platform/foundation/Text.h"
#include "platform/render/SymbolTable.h"

#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

namespace plat::render {

namespace {

// The drawing library works in float: the display list's lengths cross over to it here.
float px(double v) {
    return static_cast<float>(v);
}
ImVec2 vec(Point p) {
    return {px(p.x), px(p.y)};
}
ImVec2 minOf(const Rect& r) {
    return {px(r.x), px(r.y)};
}
ImVec2 maxOf(const Rect& r) {
    return {px(r.maxX()), px(r.maxY())};
}
ImU32 col(RGBA c) {
    return c.packed();
}
ImVec4 vec4(RGBA c) {
    return {c.r, c.g, c.b, c.a};
}

// The renderer turns a clip into a scissor box by truncating its corner and its size each to whole
// pixels, which cuts up to two pixels off the far side of a clip at a fractional place: the round
// end of a capsule, the right border of a card. The clip is widened to the whole pixels it touches
// first; what it lets through beyond its edge is less than a pixel.
std::pair<ImVec2, ImVec2> pixelClip(const Rect& r) {
    const ImVec2 scale = ImGui::GetIO().DisplayFramebufferScale;
    const double sx = scale.x > 0 ? scale.x : 1, sy = scale.y > 0 ? scale.y : 1;
    return {{px(std::floor(r.x * sx) / sx), px(std::floor(r.y * sy) / sy)},
            {px(std::ceil(r.maxX() * sx) / sx), px(std::ceil(r.maxY() * sy) / sy)}};
}

// Corner radius no larger than half the shorter side, so pills and circles come out right.
float clampRadius(const Rect& r, double radius) {
    return px(std::max(0.0, std::min(radius, std::min(r.width, r.height) * 0.5)));
}

std::vector<ImVec2> ellipsePoints(const Rect& r) {
    const float rx = px(r.width) * 0.5f, ry = px(r.height) * 0.5f;
    const ImVec2 c{px(r.x) + rx, px(r.y) + ry};
    const int segments = std::clamp(static_cast<int>((rx + ry) * 0.75f), 12, 128);
    std::vector<ImVec2> points;
    points.reserve(static_cast<size_t>(segments));
    for (int i = 0; i < segments; ++i) {
        const float a =
            2.0f * std::numbers::pi_v<float> * static_cast<float>(i) / static_cast<float>(segments);
        points.push_back({c.x + std::cos(a) * rx, c.y + std::sin(a) * ry});
    }
    return points;
}

} // namespace

void Painter::paint(const DisplayList& list) {
    ImGui::SetNextWindowPos({0, 0});
    ImGui::SetNextWindowSize({px(ctx_.contentSize.width), px(ctx_.contentSize.height)});
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, {0, 0});
    ImGui::PushStyleVar(ImGuiStyleVar_WindowBorderSize, 0);
    ImGui::Begin("##content", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus |
                     ImGuiWindowFlags_NoScrollWithMouse | ImGuiWindowFlags_NoFocusOnAppearing);
    ImGui::PopStyleVar(2);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    int clipDepth = 0;
    const cmd::Alert* alert = nullptr;
    for (const Command& command : list.commands()) {
        std::visit(
            [&](const auto& c) {
                using T = std::decay_t<decltype(c)>;
                if constexpr (std::is_same_v<T, cmd::FillRect>) {
                    dl->AddRectFilled(minOf(c.rect), maxOf(c.rect), col(c.color),
                                      clampRadius(c.rect, c.cornerRadius));
                } else if constexpr (std::is_same_v<T, cmd::StrokeRect>) {
                    // The stroke lies inside the rectangle.
                    const double h = c.lineWidth * 0.5;
                    const Rect in{c.rect.x + h, c.rect.y + h, c.rect.width - c.lineWidth,
                                  c.rect.height - c.lineWidth};
                    dl->AddRect(minOf(in), maxOf(in), col(c.color), clampRadius(in, c.cornerRadius - h), 0,
                                px(c.lineWidth));
                } else if constexpr (std::is_same_v<T, cmd::FillEllipse>) {
                    auto pts = ellipsePoints(c.rect);
                    dl->AddConvexPolyFilled(pts.data(), static_cast<int>(pts.size()), col(c.color));
                } else if constexpr (std::is_same_v<T, cmd::StrokeEllipse>) {
                    auto pts = ellipsePoints(c.rect);
                    dl->AddPolyline(pts.data(), static_cast<int>(pts.size()), col(c.color),
                                    ImDrawFlags_Closed, px(c.lineWidth));
                } else if constexpr (std::is_same_v<T, cmd::Line>) {
                    dl->AddLine(vec(c.from), vec(c.to), col(c.color), px(c.width));
                } else if constexpr (std::is_same_v<T, cmd::Polygon>) {
                    std::vector<ImVec2> pts;
                    for (Point p : c.points)
                        pts.push_back(vec(p));
                    if (pts.size() < 3) return;
                    if (c.strokeWidth > 0)
                        dl->AddPolyline(pts.data(), static_cast<int>(pts.size()), col(c.color),
                                        ImDrawFlags_Closed, px(c.strokeWidth));
                    else
                        dl->AddConvexPolyFilled(pts.data(), static_cast<int>(pts.size()), col(c.color));
                } else if constexpr (std::is_same_v<T, cmd::Text>) {
                    paintText(c);
                } else if constexpr (std::is_same_v<T, cmd::Symbol>) {
                    paintSymbol(c);
                } else if constexpr (std::is_same_v<T, cmd::Image>) {
                    void* tex = c.pixels ? (ctx_.pixelsTexture ? ctx_.pixelsTexture(c.pixels) : nullptr)
                                         : (ctx_.texture ? ctx_.texture(c.name) : nullptr);
                    if (tex) dl->AddImage(tex, minOf(c.rect), maxOf(c.rect), {0, 0}, {1, 1}, col(c.tint));
                } else if constexpr (std::is_same_v<T, cmd::Spinner>) {
                    paintSpinner(c);
                } else if constexpr (std::is_same_v<T, cmd::PushClip>) {
                    const auto [from, to] = pixelClip(c.rect);
                    ImGui::PushClipRect(from, to, true);
                    ++clipDepth;
                } else if constexpr (std::is_same_v<T, cmd::PopClip>) {
                    // An unmatched pop is ignored rather than unbalancing the frame's own clips.
                    if (clipDepth > 0) {
                        ImGui::PopClipRect();
                        --clipDepth;
                    }
                } else if constexpr (std::is_same_v<T, cmd::TextField>) {
                    paintTextField(c);
                } else if constexpr (std::is_same_v<T, cmd::Alert>) {
                    alert = &c;
                }
            },
            command);
    }
    while (clipDepth-- > 0)
        ImGui::PopClipRect();
    if (alert) {
        // Modal in the window: everything behind it dims at once.
        dl->AddRectFilled({0, 0}, {px(ctx_.contentSize.width), px(ctx_.contentSize.height)},
                          col(RGBA{0, 0, 0, 0.25f}));
        paintAlert(*alert);
    } else if (ImGui::IsPopupOpen("##alert")) {
        if (ImGui::BeginPopupModal("##alert", nullptr, ImGuiWindowFlags_NoTitleBar)) {
            ImGui::CloseCurrentPopup();
            ImGui::EndPopup();
        }
    }
    ImGui::End();
}

void Painter::paintText(const cmd::Text& t) {
    if (t.text.empty()) return;
    ImFont* face = ctx_.faces->pick(t.font);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const float size = px(t.font.size);
    const float scale = size / face->FontSize;
    const float lineHeight = t.lineHeight > 0 ? px(t.lineHeight) : size;
    const float inset = (lineHeight - size) * 0.5f;
    // The rule sits just under the baseline.
    const float underlineY = inset + face->Ascent * scale + std::max(1.0f, size / 12.0f);
    const char* line = t.text.data();
    const char* const end = line + t.text.size();
    const float x = px(t.origin.x);
    float y = px(t.origin.y);
    while (line < end) {
        const char* next = line;
        if (t.wrapWidth > 0) {
            next = face->CalcWordWrapPositionA(scale, line, end, px(t.wrapWidth));
            if (next == line) ++next;
            // A hard break inside the wrapped part ends the line there.
            for (const char* p = line; p < next; ++p)
                if (*p == '\n') {
                    next = p;
                    break;
                }
        } else {
            while (next < end && *next != '\n')
                ++next;
        }
        dl->AddText(face, size, {x, y + inset}, col(t.color), line, next);
        if (t.underline && next > line) {
            const float w = face->CalcTextSizeA(size, FLT_MAX, 0, line, next).x;
            dl->AddLine({x, y + underlineY}, {x + w, y + underlineY}, col(t.underlineColor), 1.0f);
        }
        y += lineHeight;
        line = next;
        if (line < end && *line == '\n') {
            ++line;
        } else {
            while (line < end && *line == ' ')
                ++line; // a wrapped line does not start with blanks
        }
    }
}

void Painter::paintSymbol(const cmd::Symbol& s) {
    auto cp = SymbolTable::codepoint(s.name);
    if (!cp || s.rect.width <= 0 || s.rect.height <= 0) return;
    ImFont* face = ctx_.faces->pick(Font{1000, false}); // the largest baked face
    const ImFontGlyph* glyph = face->FindGlyphNoFallback(static_cast<ImWchar>(*cp));
    if (!glyph) return;
    const float gw = std::max(1.0f, glyph->X1 - glyph->X0);
    const float gh = std::max(1.0f, glyph->Y1 - glyph->Y0);
    const ImVec2 at = minOf(s.rect), side{px(s.rect.width), px(s.rect.height)};
    const float scale = std::min(side.x / gw, side.y / gh);
    const float cx = at.x + side.x * 0.5f, cy = at.y + side.y * 0.5f;
    const ImVec2 pos{cx - (glyph->X0 + glyph->X1) * 0.5f * scale,
                     cy - (glyph->Y0 + glyph->Y1) * 0.5f * scale};
    const std::string text = plat::text::utf8Encoded(*cp);
    ImGui::GetWindowDrawList()->AddText(face, face->FontSize * scale, pos, col(s.color), text.data(),
                                        text.data() + text.size());
}

void Painter::paintSpinner(const cmd::Spinner& s) {
    constexpr int kSpokes = 8;
    const float radius = px(std::min(s.rect.width, s.rect.height)) * 0.5f;
    if (radius <= 0) return;
    const ImVec2 c{px(s.rect.x) + px(s.rect.width) * 0.5f, px(s.rect.y) + px(s.rect.height) * 0.5f};
    const int lead = static_cast<int>(std::fmod(ctx_.time * kSpokes, kSpokes));
    ImDrawList* dl = ImGui::GetWindowDrawList();
    for (int i = 0; i < kSpokes; ++i) {
        const float a = 2.0f * std::numbers::pi_v<float> * static_cast<float>(i) / kSpokes;
        const int age = (lead - i + kSpokes) % kSpokes;
        const RGBA color = s.color.withAlpha(s.color.a * (1.0f - static_cast<float>(age) / (kSpokes + 1)));
        const ImVec2 dir{std::cos(a), std::sin(a)};
        dl->AddLine({c.x + dir.x * radius * 0.45f, c.y + dir.y * radius * 0.45f},
                    {c.x + dir.x * radius * 0.95f, c.y + dir.y * radius * 0.95f}, col(color),
                    std::max(1.5f, radius * 0.16f));
    }
}

void Painter::paintTextField(const cmd::TextField& f) {
    ImFont* face = ctx_.faces->pick(f.font);
    const float scale = px(f.font.size) / face->FontSize;
    const std::string label = "##" + f.id;
    ImGui::PushID(f.id.c_str());
    ImGui::PushFont(face);
    ImGui::SetWindowFontScale(scale);
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4{0, 0, 0, 0});
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, ImVec4{0, 0, 0, 0});
    ImGui::PushStyleColor(ImGuiCol_FrameBgActive, ImVec4{0, 0, 0, 0});
    ImGui::PushStyleColor(ImGuiCol_Text, vec4(f.color));
    ImGui::PushStyleColor(ImGuiCol_TextDisabled, vec4(f.placeholderColor));
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding,
                        {0, px(std::max(0.0, (f.rect.height - f.font.size) * 0.5))});
    ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 0);
    ImGui::SetCursorScreenPos(minOf(f.rect));
    ImGui::SetNextItemWidth(px(f.rect.width));
    // The toolkit owns focus: a focused field takes the keyboard, an unfocused one gives it up.
    const ImGuiID id = ImGui::GetID(label.c_str());
    // A field focused from here starts with the caret after its text rather than all of it selected.
    struct CaretRequest {
        ImGuiStorage* storage;
        ImGuiID key;
    } request{ImGui::GetStateStorage(), ImGui::GetID("caret")};
    if (f.focused && ImGui::GetActiveID() != id) {
        ImGui::SetKeyboardFocusHere();
        request.storage->SetBool(request.key, true);
    }
    std::string text = f.text;
    ImGuiInputTextFlags flags = ImGuiInputTextFlags_CallbackAlways;
    if (f.secure) flags |= ImGuiInputTextFlags_Password;
    auto caretToEnd = [](ImGuiInputTextCallbackData* data) {
        auto* r = static_cast<CaretRequest*>(data->UserData);
        if (r->storage->GetBool(r->key)) {
            data->SelectionStart = data->SelectionEnd = data->CursorPos = data->BufTextLen;
            r->storage->SetBool(r->key, false);
        }
        return 0;
    };
    if (ImGui::InputTextWithHint(label.c_str(), f.placeholder.c_str(), &text, flags, caretToEnd, &request) &&
        ctx_.emit) {
        InputEvent e;
        e.kind = InputEvent::Kind::TextEdited;
        e.id = f.id;
        e.text = text;
        ctx_.emit(std::move(e));
    }
    if (!f.focused && ImGui::IsItemActive() && !ImGui::IsItemActivated()) ImGui::ClearActiveID();
    ImGui::PopStyleVar(2);
    ImGui::PopStyleColor(5);
    ImGui::SetWindowFontScale(1.0f);
    ImGui::PopFont();
    ImGui::PopID();
}

void Painter::paintAlert(const cmd::Alert& a) {
    if (!ImGui::IsPopupOpen("##alert")) ImGui::OpenPopup("##alert");
    const float width = 280;
    ImGui::SetNextWindowPos({px(ctx_.contentSize.width) * 0.5f, px(ctx_.contentSize.height) * 0.5f},
                            ImGuiCond_Always, {0.5f, 0.5f});
    ImGui::SetNextWindowSize({width, 0});
    if (!ImGui::BeginPopupModal("##alert", nullptr,
                                ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                    ImGuiWindowFlags_NoMove | ImGuiWindowFlags_AlwaysAutoResize |
                                    ImGuiWindowFlags_NoSavedSettings))
        return;
    const float inner = width - ImGui::GetStyle().WindowPadding.x * 2;
    auto centred = [&](const std::string& s, Font font) {
        ImFont* face = ctx_.faces->pick(font);
        ImGui::PushFont(face);
        ImGui::SetWindowFontScale(px(font.size) / face->FontSize);
        const float w = std::min(inner, ImGui::CalcTextSize(s.c_str(), nullptr, false, inner).x);
        ImGui::SetCursorPosX(ImGui::GetStyle().WindowPadding.x + (inner - w) * 0.5f);
        ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + w + 1);
        ImGui::TextUnformatted(s.c_str());
        ImGui::PopTextWrapPos();
        ImGui::SetWindowFontScale(1.0f);
        ImGui::PopFont();
    };
    centred(a.title, Font{13, true});
    if (!a.message.empty()) centred(a.message, Font{12, false});
    ImGui::Spacing();
    const size_t n = std::max<size_t>(1, a.buttons.size());
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    const float bw = (inner - spacing * static_cast<float>(n - 1)) / static_cast<float>(n);
    for (size_t i = 0; i < a.buttons.size(); ++i) {
        if (i > 0) ImGui::SameLine();
        const auto& b = a.buttons[i];
        if (b.destructive) ImGui::PushStyleColor(ImGuiCol_Text, ImVec4{0.85f, 0.1f, 0.1f, 1});
        const bool pressed = ImGui::Button((b.title + "##" + std::to_string(i)).c_str(), {bw, 0});
        if (b.destructive) ImGui::PopStyleColor();
        if (pressed && ctx_.emit) {
            InputEvent e;
            e.kind = InputEvent::Kind::AlertButton;
            e.index = static_cast<int>(i);
            e.text = b.title;
            ctx_.emit(std::move(e));
        }
    }
    ImGui::EndPopup();
}

} // namespace plat::render
