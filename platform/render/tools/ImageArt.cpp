#include "platform/render/tools/ImageArt.h"

#include "platform/render/tools/Canvas.h"

namespace plat::render::art {

namespace {

// The brand shield and the "V" mark, in the unit square of the picture.
Shape shield(float inset = 0) {
    return polygon({{0.5f, 0.08f + inset},
                    {0.86f - inset, 0.2f + inset * 0.6f},
                    {0.84f - inset, 0.5f},
                    {0.5f, 0.93f - inset * 1.4f},
                    {0.16f + inset, 0.5f},
                    {0.14f + inset, 0.2f + inset * 0.6f}});
}

Shape mark() {
    return polygon({{0.32f, 0.3f},
                    {0.42f, 0.3f},
                    {0.5f, 0.56f},
                    {0.58f, 0.3f},
                    {0.68f, 0.3f},
                    {0.55f, 0.7f},
                    {0.45f, 0.7f}});
}

const RGBA kWhite = RGBA::rgb(0xFFFFFF);

Bitmap logo() {
    Canvas c(256, 256);
    c.fill(shield(), vertical(RGBA::rgb(0x3B82F6), RGBA::rgb(0x1E40AF)));
    c.fill(mark(), solid(kWhite));
    return c.bitmap();
}

Bitmap rightBarLogo() {
    // White line art for the brand column's dark background.
    Canvas c(320, 320);
    c.fill(subtract(shield(), shield(0.05f)), solid(kWhite));
    c.fill(mark(), solid(kWhite));
    return c.bitmap();
}

Bitmap powerButton(uint32_t top, uint32_t bottom) {
    Canvas c(300, 300);
    c.fill(circle(0.5f, 0.5f, 0.48f), solid(RGBA::rgb(bottom, 0.25f))); // halo
    c.fill(circle(0.5f, 0.5f, 0.44f), vertical(RGBA::rgb(top), RGBA::rgb(bottom)));
    c.fill(arc(0.5f, 0.52f, 0.2f, 0.07f, 40, 320), solid(kWhite));
    c.fill(segment(0.5f, 0.24f, 0.5f, 0.47f, 0.07f), solid(kWhite));
    return c.bitmap();
}

Bitmap notConnectedButton() {
    return powerButton(0xA3A9B3, 0x5F6673);
}
Bitmap connectingButton() {
    return powerButton(0xFBBF24, 0xD97706);
}
Bitmap connectedButton() {
    return powerButton(0x34D399, 0x059669);
}

Bitmap appIcon() {
    Canvas c(512, 512);
    c.fill(roundedRect(0.06f, 0.06f, 0.88f, 0.88f, 0.2f), vertical(RGBA::rgb(0x1E3A8A), RGBA::rgb(0x0F172A)));
    c.fill(shield(0.06f), vertical(RGBA::rgb(0x60A5FA), RGBA::rgb(0x2563EB)));
    c.fill(mark(), solid(kWhite));
    return c.bitmap();
}

// The dock's status pictures: the shield in the state's colour.
Bitmap statusIcon(uint32_t top, uint32_t bottom) {
    Canvas c(128, 128);
    c.fill(roundedRect(0.06f, 0.06f, 0.88f, 0.88f, 0.2f), vertical(RGBA::rgb(0x1E3A8A), RGBA::rgb(0x0F172A)));
    c.fill(shield(0.06f), vertical(RGBA::rgb(top), RGBA::rgb(bottom)));
    c.fill(mark(), solid(kWhite));
    return c.bitmap();
}

Bitmap iconInvalid() {
    return statusIcon(0xF87171, 0xB91C1C);
}
Bitmap iconConnecting() {
    return statusIcon(0xFBBF24, 0xD97706);
}
Bitmap iconConnected() {
    return statusIcon(0x34D399, 0x059669);
}
Bitmap iconDisconnecting() {
    return statusIcon(0xCBD5E1, 0x64748B);
}

} // namespace

const std::vector<ImageArt>& allImages() {
    static const auto* images = new std::vector<ImageArt>{
        {"logo", logo},
        {"rightBarLogo", rightBarLogo},
        {"notConnectedButton", notConnectedButton},
        {"connectingButton", connectingButton},
        {"connectedButton", connectedButton},
        {"AppIconMacOS", appIcon},
        {"iconInvalid", iconInvalid},
        {"iconConnecting", iconConnecting},
        {"iconConnected", iconConnected},
        {"iconDisconnecting", iconDisconnecting},
    };
    return *images;
}

} // namespace plat::render::art
