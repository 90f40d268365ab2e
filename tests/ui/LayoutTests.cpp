// Layout with the headless metrics (body text: 6.5 points a character, 17-point lines): stacks with
// spacers, alignment, frames, padding, backgrounds, images and wrapping text.
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

class LayoutTest : public UITest {
protected:
    Rect frameOf(Host& host, const Query& q) { return host.require(q).frame(); }
};

TEST_F(LayoutTest, HStackGivesTheSpacerWhatTheTextsLeave) {
    Host host(HStack({Text("ab"), Spacer(), Text("cd")}), {.contentSize = {200, 50}});
    host.update();
    EXPECT_EQ(frameOf(host, Query::text("ab")), (Rect{0, 16.5, 13, 17}));
    EXPECT_EQ(frameOf(host, Query::text("cd")), (Rect{187, 16.5, 13, 17}));
    EXPECT_EQ(frameOf(host, Query::kind(ViewKind::Spacer)), (Rect{21, 25, 158, 0}));
}

TEST_F(LayoutTest, VStackAlignsLeadingWithSpacingInsidePadding) {
    Host host(VStack(HAlign::Leading, 4, {Text("a"), Text("bbbb")}).padding(10), {.contentSize = {100, 100}});
    host.update();
    EXPECT_EQ(frameOf(host, Query::kind(ViewKind::Padding)), (Rect{27, 21, 46, 58}));
    EXPECT_EQ(frameOf(host, Query::kind(ViewKind::VStack)), (Rect{37, 31, 26, 38}));
    EXPECT_EQ(frameOf(host, Query::text("a")), (Rect{37, 31, 6.5, 17}));
    EXPECT_EQ(frameOf(host, Query::text("bbbb")), (Rect{37, 52, 26, 17}));
}

TEST_F(LayoutTest, SpacersWithoutMinimumCentreAndShareEqually) {
    Host host(VStack(HAlign::Center, 0, {Spacer(0), Text("t"), Spacer(0)}), {.contentSize = {100, 100}});
    host.update();
    EXPECT_EQ(frameOf(host, Query::text("t")), (Rect{46.75, 41.5, 6.5, 17}));
    // Spacers never shrink below their minimum, even when that overflows the stack.
    Host tight(HStack(VAlign::Center, 0, {Spacer(), ColorView(Color::red()).frame(50, 10), Spacer()}),
               {.contentSize = {60, 20}});
    tight.update();
    auto spacers = tight.findAll(Query::kind(ViewKind::Spacer));
    ASSERT_EQ(spacers.size(), 2u);
    for (const auto& s : spacers)
        EXPECT_EQ(s.frame().width, 8);
    EXPECT_EQ(spacers[1].frame().x, spacers[0].frame().x + 58);
}

TEST_F(LayoutTest, UnboundedMaxWidthTakesTheRestAndAlignsItsContent) {
    Host host(
        HStack({Text("hi").frame({.maxWidth = infinity, .alignment = Alignment::leading()}), Text("abc")}),
        {.contentSize = {300, 40}});
    host.update();
    EXPECT_EQ(frameOf(host, Query::kind(ViewKind::Frame)), (Rect{0, 11.5, 272.5, 17}));
    EXPECT_EQ(frameOf(host, Query::text("hi")), (Rect{0, 11.5, 13, 17}));
    EXPECT_EQ(frameOf(host, Query::text("abc")), (Rect{280.5, 11.5, 19.5, 17}));
}

TEST_F(LayoutTest, MinimumFrameHoldsEvenWhenOfferedLess) {
    auto content = [] { return VStack({Text("a")}).frame({.minWidth = 500, .minHeight = 400}); };
    Host roomy(content(), {.contentSize = {800, 600}});
    roomy.update();
    EXPECT_EQ(roomy.require(Query::kind(ViewKind::Frame)).frame(), (Rect{150, 100, 500, 400}));
    EXPECT_EQ(roomy.require(Query::text("a")).frame().center(), (Point{400, 300}));
    Host small(content(), {.contentSize = {300, 200}});
    small.update();
    // Larger than its window, it hangs from the window's top-left corner: nothing is pushed past
    // the top (where the menu bar is) or the leading edge.
    EXPECT_EQ(small.require(Query::kind(ViewKind::Frame)).frame(), (Rect{0, 0, 500, 400}));
}

TEST_F(LayoutTest, MaximumFrameCapsAndFixedFrameReplacesTheSize) {
    Host host(VStack(HAlign::Leading, 0,
                     {ColorView(Color::red()).frame({.maxWidth = 120, .maxHeight = 30}),
                      Text("x").frame(40, std::nullopt, Alignment::trailing())}),
              {.contentSize = {400, 100}});
    host.update();
    auto frames = host.findAll(Query::kind(ViewKind::Frame));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].frame().size(), (Size{120, 30}));
    EXPECT_EQ(frames[1].frame().size(), (Size{40, 17}));
    EXPECT_EQ(host.require(Query::text("x")).frame().maxX(), frames[1].frame().maxX());
}

TEST_F(LayoutTest, ResizableImageFitsItsAspectInAFixedFrame) {
    auto metrics = std::make_shared<HeadlessMetrics>();
    metrics->setImageSize("logo", {64, 32});
    Host host(HStack({Image("logo").resizable().scaledToFit().frame(128, 128), Image("logo")}),
              {.contentSize = {300, 200}, .metrics = metrics});
    host.update();
    auto images = host.findAll(Query::image("logo"));
    ASSERT_EQ(images.size(), 2u);
    Rect box = host.require(Query::kind(ViewKind::Frame)).frame();
    EXPECT_EQ(images[0].frame(), (Rect{box.x, box.y + 32, 128, 64}));
    EXPECT_EQ(images[1].frame().size(), (Size{64, 32})); // not resizable: natural size
}

TEST_F(LayoutTest, PaddingOnEdgesAndBackgroundsFollowTheirContent) {
    Host host(
        Text("ab").padding(Edge::Leading, 30).testId("inner").padding(5).background(ColorView(Color::blue())),
        {.contentSize = {100, 100}});
    host.update();
    Rect bg = host.require(Query::kind(ViewKind::Background)).frame();
    EXPECT_EQ(bg.size(), (Size{13 + 30 + 10, 17 + 10}));
    EXPECT_EQ(host.require(Query::kind(ViewKind::Color)).frame(), bg);
    EXPECT_EQ(host.require(Query::text("ab")).frame().x, bg.x + 35);
    EXPECT_EQ(host.require(Query::testId("inner")).data().geometry->insets, (EdgeInsets{0, 30, 0, 0}));
}

TEST_F(LayoutTest, TextWrapsAtWordsWithinItsWidth) {
    Host host(Text("aaa bbb ccc").frame(50, std::nullopt, Alignment::topLeading()),
              {.contentSize = {200, 200}});
    host.update();
    EXPECT_EQ(host.require(Query::text("aaa bbb ccc")).frame().size(), (Size{45.5, 34}));
}

TEST_F(LayoutTest, OverlayIsOfferedTheBaseSizeAndAligned) {
    Host host(ColorView(Color::gray())
                  .frame(100, 40)
                  .overlay(SystemImage("xmark").padding(Edge::Trailing, 8), Alignment::trailing()),
              {.contentSize = {100, 40}});
    host.update();
    EXPECT_EQ(host.require(Query::symbol("xmark")).frame(), (Rect{79, 13.5, 13, 13}));
}

TEST_F(LayoutTest, ListRowsStackAndScrollContentRunsPastTheBottom) {
    std::vector<int> rows{1, 2, 3};
    Host host(
        List({ForEach(
            rows, [](int i) { return i; }, [](int i) { return VerbatimText("row " + std::to_string(i)); })}),
        {.contentSize = {200, 60}});
    host.update();
    EXPECT_EQ(host.require(Query::kind(ViewKind::List)).frame(), (Rect{0, 0, 200, 60}));
    EXPECT_EQ(host.require(Query::text("row 2")).frame().y, 4 + 17 + 8 + 0);
    EXPECT_GT(host.require(Query::text("row 3")).frame().maxY(), 60);
}

} // namespace
