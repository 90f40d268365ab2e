// The image resources, named colours, symbols and fonts that the screens rely on.
#include "platform/foundation/Bundle.h"
#include "platform/render/ColorAssets.h"
#include "platform/render/FontBook.h"
#include "platform/render/ImageStore.h"
#include "platform/render/SymbolTable.h"
#include "platform/render/tools/ImageArt.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace plat::render;
using plat::RGBA;
using plat::Size;

TEST(Images, EveryNamedImageIsInTheBundleAndMatchesItsDrawing) {
    // The names the screens and the session controller use.
    const std::vector<std::string> names = {
        "logo",         "rightBarLogo", "notConnectedButton", "connectingButton", "connectedButton",
        "AppIconMacOS", "iconInvalid",  "iconConnecting",     "iconConnected",    "iconDisconnecting"};
    ASSERT_EQ(art::allImages().size(), names.size());
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        auto art = std::find_if(art::allImages().begin(), art::allImages().end(),
                                [&](const art::ImageArt& a) { return a.name == name; });
        ASSERT_NE(art, art::allImages().end());
        auto committed = ImageStore::shared().image(name);
        ASSERT_TRUE(committed) << "run `ninja velmora_images` and commit resources/images";
        const plat::render::Bitmap drawn = art->draw();
        EXPECT_EQ(committed->width, drawn.width);
        EXPECT_EQ(committed->height, drawn.height);
        EXPECT_TRUE(committed->rgba == drawn.rgba) << "resources/images/" << name << ".png is out of date";
    }
    EXPECT_FALSE(ImageStore::shared().image("noSuchImage"));
    EXPECT_FALSE(ImageStore::shared().image("noSuchImage")); // remembered as missing
}

TEST(Images, PowerButtonsShowTheirStateColourAroundATransparentCorner) {
    auto connected = ImageStore::shared().image("connectedButton");
    auto connecting = ImageStore::shared().image("connectingButton");
    auto idle = ImageStore::shared().image("notConnectedButton");
    ASSERT_TRUE(connected && connecting && idle);
    auto channel = [](uint32_t p, int shift) { return static_cast<int>((p >> shift) & 0xFF); };
    // A point inside the disc below the power sign: green, amber and grey.
    const uint32_t g = connected->pixel(150, 200), a = connecting->pixel(150, 200), n = idle->pixel(150, 200);
    EXPECT_GT(channel(g, 16), channel(g, 24) + 60);
    EXPECT_GT(channel(a, 24), channel(a, 8) + 100);
    EXPECT_LT(std::abs(channel(n, 24) - channel(n, 16)), 20);
    EXPECT_EQ(connected->pixel(2, 2) & 0xFF, 0u); // the corners are transparent
}

TEST(Colors, RightBarColorIsANamedColourOfTheBundle) {
    auto c = ColorAssets::shared().color("rightBarColor");
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->packed(), RGBA::rgb(0x1E3A8A).packed());
    EXPECT_FALSE(ColorAssets::shared().color("noSuchColor"));
}

TEST(Colors, HexParsingTakesSixOrEightDigitsOnly) {
    EXPECT_EQ(ColorAssets::parseHex("#FF8000")->packed(), 0xFF0080FFu);
    EXPECT_EQ(ColorAssets::parseHex("#ff800080")->packed(), 0x800080FFu);
    EXPECT_FALSE(ColorAssets::parseHex("FF8000"));
    EXPECT_FALSE(ColorAssets::parseHex("#FF80"));
    EXPECT_FALSE(ColorAssets::parseHex("#GG8000"));
}

TEST(Symbols, TheTableIsSortedWithoutDuplicatesAndEveryGlyphIsInTheFont) {
    const auto all = SymbolTable::all();
    ASSERT_FALSE(all.empty());
    for (size_t i = 1; i < all.size(); ++i)
        EXPECT_LT(all[i - 1].name, all[i].name) << "out of order or duplicated at " << all[i].name;
    ASSERT_TRUE(FontBook::shared().symbolFontLoaded()) << SymbolTable::fontPath();
    for (const auto& g : all)
        EXPECT_TRUE(FontBook::shared().hasGlyph(g.codepoint)) << g.name;
}

TEST(Symbols, EveryNameTheScreensUseIsMapped) {
    for (const char* name :
         {"arrow.right", "eye.fill", "eye.slash.fill", "person.crop.circle.fill", "gearshape", "cart",
          "server.rack", "envelope", "rectangle.portrait.and.arrow.right", "xmark.circle.fill", "globe",
          "laptopcomputer", "applelogo", "desktopcomputer", "appletv", "questionmark.circle",
          "magnifyingglass", "checkmark.shield.fill"}) {
        EXPECT_TRUE(SymbolTable::codepoint(name).has_value()) << name;
    }
    EXPECT_EQ(SymbolTable::codepoint("eye.fill"), SymbolTable::codepoint("eye"));
    EXPECT_NE(SymbolTable::codepoint("eye.fill"), SymbolTable::codepoint("eye.slash.fill"));
    EXPECT_FALSE(SymbolTable::codepoint("eye.").has_value());
    EXPECT_FALSE(SymbolTable::codepoint("").has_value());
}

TEST(Fonts, MeasuresWithTheFacesTheWindowsDraw) {
    auto& book = FontBook::shared();
    ASSERT_TRUE(book.textFontLoaded());
    const Size one = book.measure("Velmora", Font{13, false});
    EXPECT_GT(one.width, 30);
    EXPECT_LT(one.width, 80);
    EXPECT_FLOAT_EQ(one.height, 13);
    EXPECT_GT(book.measure("Velmora", Font{13, true}).width, one.width);
    EXPECT_NEAR(book.measure("Velmora", Font{26, false}).width, one.width * 2, one.width * 0.1);
    EXPECT_EQ(book.measure("", Font{20, false}), (Size{0, 20}));
    // Spanish letters, the ellipsis and the bullet have glyphs of their own.
    for (char32_t c : {U'ñ', U'á', U'…', U'•', U'€'})
        EXPECT_TRUE(book.hasGlyph(c)) << static_cast<uint32_t>(c);
    // Wrapping: a long text at a narrow width takes several lines, each font-size high.
    const Size wrapped = book.measure("Allow access to devices on the local network", Font{10, false}, 80);
    EXPECT_LE(wrapped.width, 80);
    EXPECT_GE(wrapped.height, 30);
    EXPECT_EQ(book.measure("a\nb", Font{10, false}).height, 20);
}

} // namespace

namespace {

TEST(Images, ALargeImageShrinksToFitKeepingItsShapeAndColours) {
    // Red on the left, blue on the right, a transparent top row.
    plat::render::Bitmap flag(320, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x)
            flag.setPixel(x, y, y == 0 ? 0x00000000u : (x < 160 ? 0xFF0000FFu : 0x0000FFFFu));
    const auto small = flag.scaledToFit(100, 75);
    EXPECT_EQ(small.width, 100);
    EXPECT_EQ(small.height, 75);
    EXPECT_EQ(small.pixel(10, 40), 0xFF0000FFu);
    EXPECT_EQ(small.pixel(90, 40), 0x0000FFFFu);
    // The transparent row lowers the alpha of the top row without darkening its colour.
    EXPECT_EQ(small.pixel(10, 0) >> 8, 0xFF0000u);
    EXPECT_LT(small.pixel(10, 0) & 0xFF, 0xFFu);
    // A picture that fits already comes back as it is; the aspect ratio decides the tighter side.
    EXPECT_EQ(small.scaledToFit(200, 200).width, 100);
    EXPECT_EQ(flag.scaledToFit(100, 100).height, 75);
}

} // namespace

TEST(Images, AnImageAskedForSmallIsKeptSmallAndASmallOneAsItIs) {
    auto& store = ImageStore::shared();
    store.resetForTesting();
    const auto icon = store.image("AppIconMacOS", 128, 128);
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->width, 128);
    EXPECT_EQ(icon->height, 128);
    EXPECT_EQ(store.image("AppIconMacOS", 128, 128), icon) << "decoded once";
    // The full picture is still there for whoever draws it large.
    const auto full = store.image("AppIconMacOS");
    ASSERT_TRUE(full);
    EXPECT_EQ(full->width, 512);
    const auto small = store.image("iconConnected", 128, 128);
    ASSERT_TRUE(small);
    EXPECT_EQ(small, store.image("iconConnected")) << "already that small: the same picture";
    EXPECT_FALSE(store.image("no-such-image", 128, 128));
    store.resetForTesting();
}

TEST(Images, PixelsNobodyHoldsAreLetGoWhileTheirSizeIsKept) {
    auto& store = ImageStore::shared();
    store.resetForTesting();
    auto logo = store.image("logo");
    ASSERT_TRUE(logo);
    EXPECT_EQ(store.image("logo"), logo) << "shared while held";
    const std::vector<uint8_t> pixels = logo->rgba;
    std::weak_ptr<const plat::render::Bitmap> held = logo;
    logo.reset();
    EXPECT_TRUE(held.expired()) << "the store keeps no pixels of its own";
    const auto size = store.size("logo");
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 256);
    EXPECT_EQ(size->height, 256);
    auto again = store.image("logo");
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->rgba == pixels) << "decoded again: the same picture";
    // A size asked for first decodes the image and lets its pixels go.
    store.resetForTesting();
    const auto button = store.size("connectedButton");
    ASSERT_TRUE(button);
    EXPECT_EQ(button->width, 300);
    EXPECT_FALSE(store.size("noSuchImage"));
    EXPECT_FALSE(store.image("noSuchImage"));
    store.resetForTesting();
}
