// The plans sheet against the stand-in: the message and "Retry" until a catalogue arrives, the
// cards side by side in the published order, "Get" opening the checkout link through the
// workspace, a new catalogue request for each presentation, and the card's lines.
#include "app/controllers/PricingController.h"
#include "app/views/PricingView.h"
#include "platform/appkit/Workspace.h"
#include "platform/render/ui/FontMetrics.h"
#include "tests/app/sheets/SheetTestSupport.h"

namespace {

using namespace sheettest;
using plat::ui::NodeRef;

class PricingViewTest : public SheetTest {
protected:
    void showPricing() {
        show(plat::ui::make<Removable>(presence_, plat::ui::make<PricingView>(controller_)));
    }
    std::vector<NodeRef> cards() { return host().findAll(Query::testId("PlanRow")); }
    bool failedMessageShown() {
        return has(Query::text("Failed to load pricing plans.")) && has(Query::button("Retry"));
    }
    size_t catalogueRequests() const { return requests("GET", "/api/vpn/plans"); }

    std::shared_ptr<Presence> presence_ = std::make_shared<Presence>();
};

TEST_F(PricingViewTest, MessageUntilTheCatalogueArrivesThenOneCardPerPlan) {
    signInDemo();
    showPricing();
    EXPECT_TRUE(failedMessageShown()) << "also while the first request is under way";
    EXPECT_EQ(node(Query::text("Failed to load pricing plans.")).environment().foregroundColor,
              plat::ui::Color::red());
    ASSERT_TRUE(waitFor([&] { return cards().size() == 4; }));
    EXPECT_FALSE(failedMessageShown());

    // Side by side in the published order, sharing the row's width.
    auto row = cards();
    std::vector<std::string> names;
    for (const auto& card : row)
        names.push_back(card.find(Query::kind(plat::ui::ViewKind::Text)).text());
    EXPECT_EQ(names, (std::vector<std::string>{"Monthly", "Half-Year", "Yearly", "Lifetime"}));
    for (size_t i = 1; i < row.size(); ++i) {
        EXPECT_DOUBLE_EQ(row[i].frame().y, row[0].frame().y);
        EXPECT_GT(row[i].frame().x, row[i - 1].frame().maxX());
        EXPECT_NEAR(row[i].frame().width, row[0].frame().width, 1.0);
    }
    // The price as sent, after the sign the card puts in front.
    EXPECT_TRUE(row[0].find(Query::text("$9.99")));
    EXPECT_TRUE(row[0].find(Query::text("30 days")));
    EXPECT_TRUE(row[3].find(Query::text("Forever")));
    EXPECT_TRUE(row[0].find(Query::text("• 5 devices")));
}

TEST_F(PricingViewTest, RetryFetchesAgainAndTheScreenChangesOnlyOnAPublishedList) {
    signInDemo();
    server_.setFault("vpn/plans", standin::Fault{standin::Fault::Kind::NonJson});
    showPricing();
    ASSERT_TRUE(waitFor([&] { return console_.countStartingWith("Error fetching plans") == 1; }));
    settle();
    EXPECT_TRUE(failedMessageShown());

    ASSERT_TRUE(host().click(node(Query::button("Retry"))));
    ASSERT_TRUE(waitFor([&] { return console_.countStartingWith("Error fetching plans") == 2; }));
    settle();
    EXPECT_TRUE(failedMessageShown()) << "a failing service leaves the screen as it was";
    EXPECT_EQ(catalogueRequests(), 2u);

    server_.clearFaults();
    ASSERT_TRUE(host().click(node(Query::button("Retry"))));
    ASSERT_TRUE(waitFor([&] { return cards().size() == 4; }));
    EXPECT_EQ(catalogueRequests(), 3u);
}

TEST_F(PricingViewTest, GetOpensTheCheckoutLinkAndTheSheetStays) {
    signInDemo();
    controller_->showPricing = true;
    showPricing();
    ASSERT_TRUE(waitFor([&] { return cards().size() == 4; }));
    ASSERT_TRUE(host().click(cards()[2].find(Query::button("   Get   "))));
    ASSERT_EQ(links_->size(), 1u);
    EXPECT_EQ(links_->front(), "https://velmora.example/checkout?plan=1y&email=demo@velmora.example");
    EXPECT_TRUE(opened_->empty()) << "through the workspace, not the environment's action";
    EXPECT_TRUE(controller_->showPricing.get());
    EXPECT_EQ(cards().size(), 4u);

    // Links that are not URLs, or that the workspace refuses, open nothing.
    PricingView::PlanRow::openPurchaseURL("");
    PricingView::PlanRow::openPurchaseURL("javascript:alert(1)");
    EXPECT_EQ(links_->size(), 1u);

    // Nothing opened the page (no opener on the desktop): an alert shows the address; OK closes it.
    EXPECT_FALSE(topAlert()) << "no alert for a link that opened";
    plat::Workspace::shared().setLauncherForTesting([](const std::vector<std::string>&) { return false; });
    ASSERT_TRUE(host().click(cards()[0].find(Query::button("   Get   "))));
    ASSERT_TRUE(waitFor([&] { return static_cast<bool>(topAlert()); }));
    EXPECT_TRUE(topAlert().find(Query::text("Cannot Open Link")));
    EXPECT_NE(topAlert().text().find("https://velmora.example/checkout?plan=1m&email=demo@velmora.example"),
              std::string::npos)
        << topAlert().text();
    ASSERT_TRUE(host().click(topAlert().find(Query::button("OK"))));
    EXPECT_FALSE(topAlert());
    EXPECT_EQ(cards().size(), 4u);

    ASSERT_TRUE(host().click(node(Query::testId("closeButton"))));
    EXPECT_FALSE(controller_->showPricing.get());
}

TEST_F(PricingViewTest, EachPresentationFetchesAFreshCatalogue) {
    signInDemo();
    showPricing();
    ASSERT_TRUE(waitFor([&] { return cards().size() == 4; }));
    presence_->shown = false;
    host().update();
    presence_->shown = true;
    host().update();
    EXPECT_TRUE(failedMessageShown()) << "a new controller starts empty";
    ASSERT_TRUE(waitFor([&] { return cards().size() == 4; }));
    EXPECT_EQ(catalogueRequests(), 2u);
}

TEST_F(PricingViewTest, ACardWithoutBenefitsHasNoBulletLines) {
    show(plat::ui::make<PricingView::PlanRow>(
        PricingView::Plan{"Basic", "7 days", "9.99", "https://x.example/", {}}));
    EXPECT_TRUE(has(Query::text("$9.99")));
    EXPECT_FALSE(has(Query::textContaining("•")));
    show(plat::ui::make<PricingView::PlanRow>(
        PricingView::Plan{"Basic", "7 days", "9.99", "https://x.example/", {"One", "Two"}}));
    EXPECT_EQ(host().count(Query::textContaining("• ")), 2u);
}

} // namespace

namespace {

TEST_F(PricingViewTest, ABenefitTooLongForItsCardWrapsInsideIt) {
    signInDemo();
    auto c = controller_;
    plat::ui::HostOptions options;
    options.contentSize = {800, 572};
    options.metrics = std::make_shared<plat::render::FontMetrics>();
    show(plat::ui::Text("main").sheet(plat::Binding<bool>::constant(true),
                                      [c] { return plat::ui::make<PricingView>(c); }),
         options);
    ASSERT_TRUE(waitFor([&] { return cards().size() == 4; }));
    host().update();
    const plat::Rect sheet = host().sheets().at(0).frame();
    for (const NodeRef& card : cards()) {
        const NodeRef benefit = card.find(Query::textContaining("Unlimited access to all VPN servers"));
        ASSERT_TRUE(benefit);
        const plat::Rect f = benefit.frame();
        EXPECT_GE(f.x, card.frame().x);
        EXPECT_LE(f.maxX(), card.frame().maxX());
        EXPECT_GE(f.height, 2 * benefit.environment().effectiveFont().size()) << "on two lines";
        EXPECT_LE(card.frame().maxY(), sheet.maxY());
    }
}

} // namespace
