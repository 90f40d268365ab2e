// How stacks share their length among their children: inflexible children first, then the
// flexible ones from the least to the most flexible, each an equal share of what is left but never
// less than its minimum. Spacers (at least 8 points along the axis), lists, scroll views and maps
// are all fully flexible, but spacers keep their minimum beside content that can grow without bound.
#include "UITestSupport.h"

#include <cmath>

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

// One child of a stack under test, named by a letter:
//   S a spacer, F a block fixed to 100 along the axis, B a block of at most 50 along the axis,
//   L a list, C a scroll view, M a map, N a nested stack of a 40-point block over a list.
AnyView child(char letter, Axis axis, const std::string& id) {
    const bool h = axis == Axis::Horizontal;
    auto block = [&](double length) {
        return h ? ColorView(Color::red()).frame(length, std::nullopt)
                 : ColorView(Color::red()).frame(std::nullopt, length);
    };
    AnyView v;
    switch (letter) {
    case 'S':
        v = Spacer();
        break;
    case 'F':
        v = block(100);
        break;
    case 'B':
        v = ColorView(Color::blue()).frame(h ? FrameSpec{.maxWidth = 50} : FrameSpec{.maxHeight = 50});
        break;
    case 'L':
        v = List({VerbatimText("row")});
        break;
    case 'C':
        v = ScrollView(VerbatimText("content"));
        break;
    case 'M':
        v = MapPlaceholder();
        break;
    case 'N': {
        std::vector<AnyView> inner{block(40), List({VerbatimText("inner row")})};
        v = h ? HStack(VAlign::Center, 0, std::move(inner)) : VStack(HAlign::Center, 0, std::move(inner));
        break;
    }
    default:
        ADD_FAILURE() << "unknown child " << letter;
    }
    return Group({v}).testId(id);
}

struct StackCase {
    const char* name;
    Axis axis;
    std::string children;
    double length;              // offered along the axis
    std::vector<double> expect; // each child's length along the axis
};

void PrintTo(const StackCase& c, std::ostream* os) {
    *os << c.name;
}

class StackShareTest : public UITest, public ::testing::WithParamInterface<StackCase> {};

TEST_P(StackShareTest, ChildrenGetTheirLengths) {
    const StackCase& c = GetParam();
    const bool h = c.axis == Axis::Horizontal;
    std::vector<AnyView> children;
    for (std::size_t i = 0; i < c.children.size(); ++i)
        children.push_back(child(c.children[i], c.axis, "c" + std::to_string(i)));
    AnyView stack =
        h ? HStack(VAlign::Center, 0, std::move(children)) : VStack(HAlign::Center, 0, std::move(children));
    Host host(stack.testId("stack"), {.contentSize = h ? Size{c.length, 200} : Size{200, c.length}});
    host.update();
    double cursor = host.require(Query::testId("stack")).frame().x;
    if (!h) cursor = host.require(Query::testId("stack")).frame().y;
    ASSERT_EQ(c.expect.size(), c.children.size());
    for (std::size_t i = 0; i < c.expect.size(); ++i) {
        Rect f = host.require(Query::testId("c" + std::to_string(i))).frame();
        EXPECT_NEAR(h ? f.width : f.height, c.expect[i], 1e-9)
            << "child " << i << " (" << c.children[i] << ")";
        EXPECT_NEAR(h ? f.x : f.y, cursor, 1e-9) << "child " << i << " starts where the one before ends";
        cursor += h ? f.width : f.height;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Stacks, StackShareTest,
    ::testing::Values(
        StackCase{"ListTakesWhatTheFixedBlockAndSpacersLeave", Axis::Vertical, "SFSL", 600, {8, 100, 8, 484}},
        StackCase{"ScrollViewLeavesTheSpacerItsMinimum", Axis::Vertical, "SC", 600, {8, 592}},
        StackCase{"BoundedChildTakesItsMaximumFirst", Axis::Vertical, "BSL", 600, {50, 8, 542}},
        StackCase{"SpacerKeepsItsMinimumWhenTight", Axis::Vertical, "FLS", 150, {100, 42, 8}},
        StackCase{"SpacersOverflowOnlyWhenNothingElseCanShrink", Axis::Vertical, "SSL", 10, {8, 8, 0}},
        StackCase{"NestedListLeavesTheSpacerItsMinimum", Axis::Vertical, "SN", 70, {8, 62}},
        StackCase{"NestedStackTakesAllBeyondTheSpacer", Axis::Vertical, "SN", 600, {8, 592}},
        StackCase{"SpacersShareWithBoundedChildren", Axis::Vertical, "FSB", 600, {100, 450, 50}},
        StackCase{"SpacersShareAlikeWithoutGreedyContent", Axis::Vertical, "SFS", 300, {100, 100, 100}},
        StackCase{
            "HMapTakesWhatTheFixedBlockAndSpacersLeave", Axis::Horizontal, "SFSM", 600, {8, 100, 8, 484}},
        StackCase{"HBoundedChildTakesItsMaximumFirst", Axis::Horizontal, "LBS", 600, {542, 50, 8}},
        StackCase{"HNestedListLeavesTheSpacerItsMinimum", Axis::Horizontal, "NS", 70, {62, 8}},
        StackCase{"HListsShareEqually", Axis::Horizontal, "LLF", 400, {150, 150, 100}}),
    [](const ::testing::TestParamInfo<StackCase>& info) { return std::string(info.param.name); });

// The shape of the main window: a spacer, a bar and a row of a fixed-width column (spacers, a
// status block and a searchable list) beside a map.
AnyView mainWindow(bool withMap) {
    std::vector<AnyView> rows;
    for (int i = 0; i < 40; ++i)
        rows.push_back(VerbatimText("Region " + std::to_string(i)).frame(std::nullopt, 50));
    AnyView status = VStack({ColorView(Color::green()).frame(150, 150), Text("Disconnected")});
    AnyView regions =
        VStack(HAlign::Center, {Text("VPN Regions List:").padding(Edge::Leading, 10),
                                TextField("Search", Binding<std::string>::constant("")).padding(2),
                                List(std::move(rows)).testId("list")});
    AnyView column =
        VStack(HAlign::Center, {Spacer(), status, Spacer(), Spacer(), regions}).frame(300).testId("column");
    AnyView map = If(withMap, [] { return MapPlaceholder(); });
    AnyView topBar = HStack(VAlign::Center, {Text("Premium").padding(Edge::Leading, 60), Text("Account")});
    AnyView row = HStack(VAlign::Center, {column, map}).testId("row");
    return VStack(HAlign::Center, {Group({Spacer(), topBar, row})}).testId("window");
}

TEST_F(UITest, MainWindowShapeFitsAndGivesTheListRoom) {
    for (double width : {300.0, 800.0}) {
        double listAtDefault = 0;
        for (double height : {572.0, 900.0}) {
            SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
            Host host(mainWindow(width > 300), {.contentSize = {width, height}});
            host.update();
            Rect window = host.require(Query::testId("window")).frame();
            EXPECT_EQ(window, (Rect{0, 0, width, height}));
            Rect row = host.require(Query::testId("row")).frame();
            EXPECT_EQ(row.maxY(), height);
            Rect column = host.require(Query::testId("column")).frame();
            EXPECT_EQ(column.width, 300);
            // No room goes to the spacers: the top one and the column's three keep their minimum.
            for (const auto& spacer : host.findAll(Query::kind(ViewKind::Spacer)))
                EXPECT_EQ(spacer.frame().height, 8);
            // 572 less two gaps, the top spacer and the bar leave the row 531; in the column, four
            // gaps, the status and three spacers leave the list 240.
            Rect list = host.require(Query::testId("list")).frame();
            EXPECT_EQ(list.maxY(), height);
            if (height == 572) {
                EXPECT_EQ(row.height, 531);
                EXPECT_EQ(list.height, 240);
                listAtDefault = list.height;
            } else {
                // Every point the window grows goes to the list.
                EXPECT_EQ(list.height - listAtDefault, 900 - 572);
            }
            if (width > 300) {
                Rect map = host.require(Query::kind(ViewKind::MapView)).frame();
                EXPECT_EQ(map.width, 800 - 300 - 8);
                EXPECT_EQ(map.height, row.height);
                EXPECT_EQ(map.maxY(), height);
            } else {
                EXPECT_EQ(host.count(Query::kind(ViewKind::MapView)), 0u);
            }
        }
    }
}

TEST_F(UITest, StackReportsNoMoreThanOfferedWhenChildrenShrink) {
    // Offered less than the list's rows need, the column shrinks the list rather than overflow.
    std::vector<AnyView> rows;
    for (int i = 0; i < 30; ++i)
        rows.push_back(VerbatimText("row " + std::to_string(i)));
    Host host(
        VStack({Spacer(), Text("title"), List(std::move(rows)).testId("list"), Spacer()}).testId("stack"),
        {.contentSize = {200, 120}});
    host.update();
    Rect stack = host.require(Query::testId("stack")).frame();
    EXPECT_EQ(stack, (Rect{0, 0, 200, 120}));
    // 120 less three gaps, the title and the two spacers' minimums.
    EXPECT_EQ(host.require(Query::testId("list")).frame().height, 63);
}

TEST_F(UITest, FixedWidthPassesTheHeightThrough) {
    Host host(HStack(VAlign::Center, 0,
                     {VStack({Spacer(), List({VerbatimText("r")}).testId("list")}).frame(120).testId("col"),
                      MapPlaceholder()}),
              {.contentSize = {400, 300}});
    host.update();
    EXPECT_EQ(host.require(Query::testId("col")).frame(), (Rect{0, 0, 120, 300}));
    EXPECT_EQ(host.require(Query::testId("list")).frame(), (Rect{0, 16, 120, 284}));
    EXPECT_EQ(host.require(Query::kind(ViewKind::MapView)).frame(), (Rect{120, 0, 280, 300}));
}

} // namespace
