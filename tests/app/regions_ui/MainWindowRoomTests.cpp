// The room the main window gives its parts, laid out with the text measurements of the real
// windows: the compact window shows at least three whole region rows, every point a taller window
// gains goes to the list, the least size of either layout still shows regions (and the full one its
// map), and a long account name stays inside the window.
#include "app/classes/Preferences.h"
#include "app/views/VPNMainView.h"
#include "platform/render/ui/FontMetrics.h"
#include "tests/app/regions_ui/RegionsUITestSupport.h"

namespace {

using namespace regionsui;
using namespace plat::ui;
using plat::Point;
using plat::Rect;
using plat::Size;

std::vector<Place> manyPlaces() {
    std::vector<Place> places;
    const char* countries[] = {"Austria", "Belgium", "Chile",  "Denmark",
                               "Egypt",   "France",  "Greece", "Hungary"};
    for (int i = 0; i < 8; ++i)
        places.push_back({i + 1, countries[i], "City", "AT", 40.0 + i, 10.0 + i, i == 0, 100 + i});
    return places;
}

class MainWindowRoomTest : public RegionsScreenTest {
protected:
    void showMain(Size size, bool compact = true) {
        Preferences::setToken("tok");
        if (!Preferences::email()) Preferences::setEmail("user@example.org");
        arm(manyPlaces());
        auto c = controller_;
        HostOptions options;
        options.contentSize = size;
        options.metrics = std::make_shared<plat::render::FontMetrics>();
        show(make<VPNMainView>(compact, [c] { return c; }), options);
        settle();
        ASSERT_EQ(rows().size(), 8u) << host().dump();
    }
    Rect listFrame() { return node(Query::kind(ViewKind::List)).frame(); }
    // Rows that the list's frame shows whole.
    int wholeRows() {
        const Rect list = listFrame();
        int n = 0;
        for (const auto& row : rows()) {
            const Rect f = row.frame();
            if (f.y >= list.y && f.maxY() <= list.maxY()) ++n;
        }
        return n;
    }
};

TEST_F(MainWindowRoomTest, CompactWindowShowsThreeWholeRowsAndGivesEveryExtraPointToTheList) {
    showMain({300, 572});
    EXPECT_GE(wholeRows(), 3) << host().dump();
    // The account menu sits near the top: no empty band is kept above it.
    EXPECT_LE(node(Query::testId("AccountMenu")).frame().y, 16);
    for (const auto& spacer : host().findAll(Query::kind(ViewKind::Spacer)))
        EXPECT_LE(spacer.frame().height, 8) << "spacers keep their minimum beside the list";
    const double compactList = listFrame().height;
    EXPECT_EQ(listFrame().maxY(), 572);

    host().setContentSize({300, 872});
    host().update();
    EXPECT_EQ(listFrame().height - compactList, 300);
    EXPECT_GE(wholeRows(), 8);
}

TEST_F(MainWindowRoomTest, FullLayoutAt1200By900GrowsOnlyTheListAndTheMap) {
    showMain({800, 572}, false);
    const double listAt572 = listFrame().height;
    const Rect mapAt572 = node(Query::kind(ViewKind::MapView)).frame();
    host().setContentSize({1200, 872});
    host().update();
    EXPECT_EQ(listFrame().height - listAt572, 300);
    const Rect map = node(Query::kind(ViewKind::MapView)).frame();
    EXPECT_EQ(map.height - mapAt572.height, 300);
    EXPECT_EQ(map.width - mapAt572.width, 400);
}

TEST_F(MainWindowRoomTest, AtItsLeastSizeEachLayoutStillShowsRegionsAndTheFullOneItsMap) {
    for (const bool compact : {true, false}) {
        SCOPED_TRACE(compact ? "compact" : "full");
        showMain({compact ? 300.0 : 800.0, 572}, compact);
        const Size least = host().minimumContentSize();
        host().setContentSize(least);
        host().update();
        EXPECT_GE(wholeRows(), 2) << host().dump();
        if (compact) {
            EXPECT_EQ(least.width, 300);
            continue;
        }
        const Rect map = node(Query::kind(ViewKind::MapView)).frame();
        EXPECT_GE(map.width, 300) << host().dump();
        EXPECT_EQ(map.height, listFrame().maxY() - map.y) << "the map spans the column's height";
    }
}

TEST_F(MainWindowRoomTest, ALongAccountNameIsCutShortInsideTheCompactWindow) {
    Preferences::setEmail("someone.with.a.rather.long.name@accounts.velmora.example");
    showMain({300, 572});
    const NodeRef menu = node(Query::kind(ViewKind::Menu));
    const NodeRef icon = menu.find(Query::symbol("person.crop.circle.fill"));
    const NodeRef title = menu.find(Query::kind(ViewKind::Text));
    ASSERT_TRUE(icon && title);
    EXPECT_GE(icon.frame().x, 0);
    EXPECT_LE(title.frame().maxX(), 300);
    EXPECT_LE(title.frame().height, 24) << "one line";
}

} // namespace
