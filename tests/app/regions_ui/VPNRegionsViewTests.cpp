// The region list: rows in the controller's order with the optimal region first, search by
// country or city, the selection bound to the controller, the switch one turn after a pick (also
// one made with the arrow keys and Return, which on the stored region connects), and the reload
// each time the list shows.
#include "app/classes/Preferences.h"
#include "app/views/VPNRegionsView.h"
#include "tests/app/regions_ui/RegionsUITestSupport.h"

namespace {

using namespace regionsui;
using namespace plat::ui;
using Strings = std::vector<std::string>;

class RegionListTest : public RegionsScreenTest {
protected:
    void showList() { show(make<VPNRegionsView>(controller_)); }
    NodeRef field() { return node(Query::placeholder("Search by country or city...")); }
    NodeRef list() { return node(Query::kind(ViewKind::List)); }
    NodeRef textNode(const NodeRef& row, const std::string& text) { return row.find(Query::text(text)); }
};

TEST_F(RegionListTest, TheOptimalRegionComesFirstOnTwoBoldLinesAndEachRowShowsFlagNameAndCity) {
    arm(threePlaces());
    showList();
    settle();
    EXPECT_EQ(node(Query::text("VPN Regions List:")).environment().effectiveFont(), Font::headline());
    ASSERT_EQ(rowTexts(), (Strings{"Optimal region\nSpain Madrid", "Germany Frankfurt", "Japan Tokyo"}));

    const auto rowsNow = rows();
    const NodeRef optimal = textNode(rowsNow[0], "Optimal region\nSpain");
    const NodeRef germany = textNode(rowsNow[1], "Germany");
    ASSERT_TRUE(optimal && germany);
    EXPECT_EQ(optimal.environment().effectiveFont().fontWeight(), FontWeight::Bold);
    EXPECT_EQ(textNode(rowsNow[0], "Madrid").environment().effectiveFont().fontWeight(), FontWeight::Light);
    EXPECT_GE(optimal.frame().height, 2 * germany.frame().height - 1) << "the name takes two lines";

    // The flag is the code in lower case in a 50 × 50 frame; a code already in lower case stays.
    const NodeRef flag = rowsNow[0].find(Query::kind(ViewKind::Image));
    EXPECT_EQ(flag.imageName(), "es");
    EXPECT_EQ(flag.parent().frame().width, 50);
    EXPECT_EQ(flag.parent().frame().height, 50);
    EXPECT_EQ(rowsNow[2].find(Query::kind(ViewKind::Image)).imageName(), "jp");
    // Nothing but the flag, a divider and the two texts.
    EXPECT_EQ(rowsNow[1].findAll(Query::kind(ViewKind::Text)).size(), 2u);
    EXPECT_EQ(rowsNow[1].findAll(Query::kind(ViewKind::Divider)).size(), 1u);
}

TEST_F(RegionListTest, SearchMatchesCountryOrCityInAnyCaseAndTheClearButtonEmptiesIt) {
    arm(threePlaces());
    showList();
    settle();
    EXPECT_FALSE(has(Query::symbol("xmark.circle.fill"))) << "no clear button for an empty search";
    EXPECT_TRUE(has(Query::symbol("magnifyingglass")));

    host().type(field(), "GER");
    EXPECT_EQ(rowTexts(), (Strings{"Germany Frankfurt"}));
    host().setText(field(), "tOKy");
    EXPECT_EQ(rowTexts(), (Strings{"Japan Tokyo"})) << "a city alone matches";
    // Either line of the optimal region's name finds it.
    host().setText(field(), "optimal");
    EXPECT_EQ(rowTexts(), (Strings{"Optimal region\nSpain Madrid"}));
    host().setText(field(), "spain");
    EXPECT_EQ(rowTexts(), (Strings{"Optimal region\nSpain Madrid"}));
    // Used as typed: a leading blank is part of the text.
    host().setText(field(), " japan");
    EXPECT_TRUE(rowTexts().empty());
    host().setText(field(), "a");
    EXPECT_EQ(rowTexts(), (Strings{"Optimal region\nSpain Madrid", "Germany Frankfurt", "Japan Tokyo"}))
        << "the controller's order is kept";

    ASSERT_TRUE(has(Query::symbol("xmark.circle.fill")));
    const NodeRef clear = node(Query::symbol("xmark.circle.fill"));
    EXPECT_GT(clear.frame().x, field().frame().x + field().frame().width / 2) << "at the trailing edge";
    ASSERT_TRUE(host().click(clear));
    EXPECT_EQ(field().value(), "");
    EXPECT_EQ(rowTexts().size(), 3u);
    EXPECT_FALSE(has(Query::symbol("xmark.circle.fill")));
}

TEST_F(RegionListTest, TheDefaultPickCallsNothingAndAnotherRowSwitchesOnceOneTurnLater) {
    ASSERT_EQ(Preferences::configId(), 0);
    arm(threePlaces());
    showList();
    settle();
    // The controller picked the optimal region: stored first, so the list triggered nothing.
    EXPECT_EQ(controller_->currentRegion.get(), 3);
    EXPECT_EQ(Preferences::configId(), 3);
    EXPECT_TRUE(list().find(Query::where("selected", [](const NodeRef& n) { return n.isSelected(); })));
    EXPECT_EQ(helper_->connects, 0);

    // Clicking the selected row again changes nothing.
    ASSERT_TRUE(host().click(rows()[0]));
    settle();
    EXPECT_EQ(helper_->connects, 0);

    ASSERT_TRUE(host().click(rows()[2]));
    EXPECT_EQ(controller_->currentRegion.get(), 2) << "the selection is the controller's";
    EXPECT_EQ(helper_->connects, 0) << "not before the next main-queue turn";
    EXPECT_EQ(Preferences::configId(), 3);
    runOneTurn();
    EXPECT_EQ(helper_->connects, 1);
    EXPECT_EQ(Preferences::configId(), 2);
    EXPECT_EQ(Preferences::countryConnected(), "Japan");
    settle();
    EXPECT_EQ(helper_->connects, 1) << "exactly once";
    EXPECT_TRUE(rows()[2].isSelected());
}

TEST_F(RegionListTest, FromTheKeyboardReturnChoosesTheRowReachedAndConnectsTheStoredOne) {
    arm(threePlaces());
    showList();
    settle();
    ASSERT_EQ(Preferences::configId(), 3);
    ASSERT_TRUE(host().pressKey(Key::Tab));
    ASSERT_TRUE(host().pressKey(Key::Tab));
    ASSERT_EQ(host().focused(), list()) << "the search field, then the list";
    // Return on the stored region, which the tunnel is not up for: it connects, one turn later.
    ASSERT_TRUE(host().pressKey(Key::Return));
    EXPECT_EQ(helper_->connects, 0);
    runOneTurn();
    EXPECT_EQ(helper_->connects, 1);
    settle();

    // The arrows move without choosing; Return chooses the row reached, which switches.
    const int toggles = helper_->connects + helper_->disconnects;
    ASSERT_TRUE(host().pressKey(Key::Down));
    ASSERT_TRUE(host().pressKey(Key::Down));
    settle();
    EXPECT_EQ(controller_->currentRegion.get(), 3);
    EXPECT_EQ(helper_->connects + helper_->disconnects, toggles);
    ASSERT_TRUE(host().pressKey(Key::Return));
    EXPECT_EQ(controller_->currentRegion.get(), 2);
    settle();
    EXPECT_EQ(Preferences::configId(), 2);
    EXPECT_EQ(helper_->connects + helper_->disconnects, toggles + 1)
        << "the switch's one toggle, nothing more";
}

TEST_F(RegionListTest, ShowingTheListWithTheStoredRegionSelectedConnectsNothing) {
    load(threePlaces()); // loaded before the list shows, so a switch would find its region
    Preferences::setConfigId(1);
    controller_->currentRegion = 1;
    arm(threePlaces());
    showList();
    settle();
    EXPECT_EQ(controller_->currentRegion.get(), 1) << "a stored choice is kept";
    EXPECT_TRUE(rows()[1].isSelected());
    EXPECT_EQ(helper_->connects + helper_->disconnects, 0);
}

TEST_F(RegionListTest, PickingAnotherRegionWhileConnectedTakesTheTunnelDown) {
    arm(threePlaces());
    showList();
    settle();
    controller_->connectionStatus = plat::NEVPNStatus::connected;
    ASSERT_TRUE(host().select(list(), Tag(int64_t{1})));
    settle();
    EXPECT_EQ(helper_->disconnects, 1);
    EXPECT_EQ(helper_->connects, 0);
    EXPECT_EQ(Preferences::configId(), 1);
}

TEST_F(RegionListTest, EachAppearanceReloadsTheRegionsThenThePlanOneTurnLater) {
    OrderedClient ordered;
    auto controller = VelmoraController::create(ordered, *helper_);
    auto presence = std::make_shared<screentest::Presence>();
    show(make<screentest::Removable>(presence, make<VPNRegionsView>(controller)));
    EXPECT_TRUE(ordered.calls.empty()) << "deferred by one turn";
    runOneTurn();
    EXPECT_EQ(ordered.calls, (Strings{"regions", "plan"}));
    settle();

    presence->shown = false;
    host().update();
    presence->shown = true;
    host().update();
    settle();
    EXPECT_EQ(ordered.calls, (Strings{"regions", "plan", "regions", "plan"}));
    EXPECT_EQ(ordered.regionRequests, 2);
}

} // namespace

namespace {

TEST_F(RegionListTest, ANewSearchShowsItsFirstMatchAtTheTop) {
    std::vector<Place> places;
    for (int i = 0; i < 12; ++i)
        places.push_back({i + 1, i % 2 ? "Austria" : "Belgium", "City " + std::to_string(i), "AT", 48.0, 16.0,
                          i == 0, 100 + i});
    arm(places);
    show(make<VPNRegionsView>(controller_), {.contentSize = {300, 300}});
    settle();
    ASSERT_EQ(rows().size(), 12u);
    ASSERT_TRUE(host().scrollWheel(list().frame().center(), -6));
    EXPECT_LT(rows().front().frame().y, list().frame().y) << "scrolled down";

    host().type(field(), "austria");
    const auto matches = rows();
    ASSERT_EQ(matches.size(), 6u);
    EXPECT_GE(matches.front().frame().y, list().frame().y) << "the first match is the top row";
    EXPECT_LE(matches.front().frame().y, list().frame().y + 8);
    // Clicking the row at the top picks the first match.
    ASSERT_TRUE(host().mouseClick({list().frame().center().x, list().frame().y + 20}));
    ASSERT_TRUE(matches.front().tag() && matches.front().tag()->integer());
    EXPECT_EQ(controller_->currentRegion.get(), std::optional<int64_t>(*matches.front().tag()->integer()));
}

} // namespace
