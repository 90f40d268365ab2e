// Lists and scroll views scrolled by the wheel in the headless host: the offset kept per view and
// clamped to the content, rows moved and clipped by the viewport, clicks after scrolling.
#include "UITestSupport.h"

#include "platform/ui/ScrollState.h"

#include <limits>

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

Point centre(const Rect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}

// A header button above a 200-point list of `rows` selectable rows.
struct Rows : Screen {
    explicit Rows(std::shared_ptr<std::vector<std::string>> log, int rows = 100)
        : log(std::move(log)), rows(rows) {}
    std::shared_ptr<std::vector<std::string>> log;
    int rows;
    State<std::optional<int>> selection{std::nullopt};
    AnyView body() const override {
        std::vector<AnyView> items;
        for (int i = 0; i < rows; ++i)
            items.push_back(Text(TextValue::verbatim("Row " + std::to_string(i))).tag(i));
        return VStack(
            {Button([log = log] { log->push_back("header"); }, Text("Header").frame(300, 40))
                 .testId("header"),
             List(selection.binding(), std::move(items)).frame(300, 200).testId("list"),
             Text(TextValue::verbatim(selection() ? "Selected " + std::to_string(*selection()) : "None")),
             Spacer()});
    }
};

NodeRef rowNode(const Host& host, int i) {
    return host.require(Query::text("Row " + std::to_string(i)));
}

TEST_F(UITest, TheWheelScrollsAListAndTheOffsetStaysWithinItsContent) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Rows>(log), {.contentSize = {400, 400}});
    host.update();
    auto list = host.require(Query::kind(ViewKind::List));
    const Rect viewport = list.frame();
    ASSERT_DOUBLE_EQ(viewport.height, 200);
    auto state = ScrollState::of(list);
    ASSERT_TRUE(state);
    const double pitch = rowNode(host, 1).frame().y - rowNode(host, 0).frame().y;
    ASSERT_GT(pitch, 0);
    EXPECT_NEAR(state->contentLength(), 100 * pitch, 1e-6);
    EXPECT_DOUBLE_EQ(state->viewportLength(), 200);
    EXPECT_DOUBLE_EQ(state->offset(), 0);
    const double row0 = rowNode(host, 0).frame().y;

    // Towards the user: later content. Each unit of turn moves the rows by the wheel step.
    EXPECT_TRUE(host.scrollWheel(centre(viewport), -1));
    EXPECT_DOUBLE_EQ(state->offset(), ScrollState::wheelStep);
    EXPECT_DOUBLE_EQ(rowNode(host, 0).frame().y, row0 - ScrollState::wheelStep);
    EXPECT_DOUBLE_EQ(rowNode(host, 50).frame().y, row0 + 50 * pitch - ScrollState::wheelStep);
    // The list itself stays where it was.
    EXPECT_EQ(host.require(Query::kind(ViewKind::List)).frame(), viewport);

    // Far past the end: clamped so the last row ends at the viewport's bottom.
    EXPECT_TRUE(host.scrollWheel(centre(viewport), -10000));
    EXPECT_DOUBLE_EQ(state->offset(), 100 * pitch - 200);
    EXPECT_NEAR(rowNode(host, 99).frame().maxY() + (pitch - rowNode(host, 99).frame().height) / 2,
                viewport.maxY(), 1e-6);
    // At the end, further turns do nothing.
    EXPECT_FALSE(host.scrollWheel(centre(viewport), -1));
    EXPECT_DOUBLE_EQ(state->offset(), 100 * pitch - 200);

    // Far past the start: back at the top.
    EXPECT_TRUE(host.scrollWheel(centre(viewport), 10000));
    EXPECT_DOUBLE_EQ(state->offset(), 0);
    EXPECT_DOUBLE_EQ(rowNode(host, 0).frame().y, row0);
    EXPECT_FALSE(host.scrollWheel(centre(viewport), 1));

    // A turn outside every list reaches nothing.
    EXPECT_FALSE(host.scrollWheel({350, 380}, -1));
}

TEST_F(UITest, AClickAfterScrollingSelectsTheRowUnderThePointer) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Rows>(log), {.contentSize = {400, 400}});
    host.update();
    const Rect viewport = host.require(Query::kind(ViewKind::List)).frame();
    const double pitch = rowNode(host, 1).frame().y - rowNode(host, 0).frame().y;
    ASSERT_TRUE(host.scrollWheel(centre(viewport), -25)); // 1000 points down
    const double offset = ScrollState::of(host.require(Query::kind(ViewKind::List)))->offset();
    ASSERT_DOUBLE_EQ(offset, 25 * ScrollState::wheelStep);

    // The middle of the row whose slot holds the point 100 points into the viewport.
    const int expected = static_cast<int>((offset + 100) / pitch);
    const Point at{viewport.x + 50, viewport.y - offset + (expected + 0.5) * pitch};
    ASSERT_TRUE(rowNode(host, expected).frame().contains(at)) << describe(rowNode(host, expected).frame());
    EXPECT_TRUE(host.mouseClick(at));
    EXPECT_TRUE(host.find(Query::text("Selected " + std::to_string(expected)))) << host.dump();

    // Rows scrolled out above the list lie under the header now, but the header takes the click.
    const Rect header = host.require(Query::testId("header")).frame();
    std::optional<Point> covered;
    for (int i = 0; i < expected && !covered; ++i) {
        const Rect row = rowNode(host, i).frame();
        const double y0 = std::max(row.y, header.y), y1 = std::min(row.maxY(), header.maxY());
        if (y1 > y0) covered = Point{header.x + header.width / 2, (y0 + y1) / 2};
    }
    ASSERT_TRUE(covered);
    EXPECT_TRUE(host.mouseClick(*covered));
    EXPECT_EQ(*log, std::vector<std::string>{"header"});
    EXPECT_TRUE(host.find(Query::text("Selected " + std::to_string(expected))));
}

TEST_F(UITest, TheOffsetSurvivesAPassAndFollowsContentThatShrinks) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Rows>(log), {.contentSize = {400, 400}});
    host.update();
    const Rect viewport = host.require(Query::kind(ViewKind::List)).frame();
    ASSERT_TRUE(host.scrollWheel(centre(viewport), -3));
    const double row10 = rowNode(host, 10).frame().y;
    // A selection rebuilds the screen; the list keeps its place and its offset.
    ASSERT_TRUE(host.select(host.require(Query::kind(ViewKind::List)), Tag(12)));
    ASSERT_TRUE(host.find(Query::text("Selected 12")));
    EXPECT_DOUBLE_EQ(ScrollState::of(host.require(Query::kind(ViewKind::List)))->offset(),
                     3 * ScrollState::wheelStep);
    EXPECT_DOUBLE_EQ(rowNode(host, 10).frame().y, row10);
    // Resizing the window lays out again with the same offset.
    host.setContentSize({420, 420});
    host.update();
    EXPECT_DOUBLE_EQ(rowNode(host, 10).frame().y, row10);
}

struct Feed : Screen {
    explicit Feed(std::shared_ptr<std::vector<std::string>> log) : log(std::move(log)) {}
    std::shared_ptr<std::vector<std::string>> log;
    AnyView body() const override {
        std::vector<AnyView> buttons;
        for (int i = 0; i < 40; ++i) {
            const std::string name = "Item " + std::to_string(i);
            buttons.push_back(Button(name, [log = log, name] { log->push_back(name); }).frame(200, 30));
        }
        return VStack({ScrollView(VStack(std::move(buttons))).frame(250, 200), Spacer()});
    }
};

TEST_F(UITest, AScrollViewMovesItsContentAndClicksFollowIt) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Feed>(log), {.contentSize = {300, 300}});
    host.update();
    auto view = host.require(Query::kind(ViewKind::ScrollView));
    const Rect viewport = view.frame();
    auto state = ScrollState::of(view);
    ASSERT_TRUE(state);
    EXPECT_GT(state->contentLength(), 1000);
    const Rect first = host.require(Query::button("Item 0")).frame();
    EXPECT_TRUE(host.scrollWheel(centre(viewport), -5));
    EXPECT_DOUBLE_EQ(host.require(Query::button("Item 0")).frame().y, first.y - 5 * ScrollState::wheelStep);
    // Clamped at the end: the content's bottom meets the viewport's.
    EXPECT_TRUE(host.scrollWheel(centre(viewport), -1000));
    EXPECT_DOUBLE_EQ(state->offset(), state->contentLength() - viewport.height);
    EXPECT_NEAR(
        host.require(Query::kind(ViewKind::VStack) &&
                     Query::where("in scroll view",
                                  [](const NodeRef& n) { return n.parent().kind() == ViewKind::ScrollView; }))
            .frame()
            .maxY(),
        viewport.maxY(), 1e-6);
    const Rect last = host.require(Query::button("Item 39")).frame();
    EXPECT_TRUE(host.mouseClick(centre(last)));
    EXPECT_EQ(*log, std::vector<std::string>{"Item 39"});
    // A click below the viewport, where later content would be without the clip, reaches nothing.
    EXPECT_FALSE(host.mouseClick({viewport.x + 100, viewport.maxY() + 20}));
}

TEST(ScrollStateTest, ClampsToTheContentBeyondTheViewport) {
    ScrollState s;
    EXPECT_FALSE(s.scrollBy(10)); // nothing to scroll yet
    s.setExtent(500, 200);
    EXPECT_TRUE(s.scrollBy(120));
    EXPECT_DOUBLE_EQ(s.offset(), 120);
    EXPECT_TRUE(s.scrollTo(1000));
    EXPECT_DOUBLE_EQ(s.offset(), 300);
    EXPECT_TRUE(s.scrollBy(-1000));
    EXPECT_DOUBLE_EQ(s.offset(), 0);
    s.scrollTo(250);
    s.setExtent(300, 200); // content shrank
    EXPECT_DOUBLE_EQ(s.offset(), 100);
    s.setExtent(100, 200); // content fits
    EXPECT_DOUBLE_EQ(s.offset(), 0);
    EXPECT_FALSE(s.scrollTo(std::numeric_limits<double>::quiet_NaN()));
}

} // namespace
