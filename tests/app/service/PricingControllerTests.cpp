// The plan catalogue: mapping of entries and publishing of the fetched list.
#include "app/controllers/PricingController.h"
#include "tests/app/service/StandinFixture.h"

#include <gtest/gtest.h>

using servicetest::ConsoleCapture;
using servicetest::StandinTest;
using standin::Fault;

namespace {

class Pricing : public StandinTest {
protected:
    // A controller whose own first fetch has been answered.
    std::unique_ptr<PricingController> loadedController() {
        ConsoleCapture console;
        auto controller = std::make_unique<PricingController>();
        // The client logs a reply in the same main-queue block that runs its completion.
        waitFor([&] { return console.countStartingWith("GET: ") == 1; });
        plat::RunLoop::main().drain();
        return controller;
    }
};

} // namespace

TEST_F(Pricing, DurationCodes) {
    auto controller = loadedController();
    const std::vector<std::pair<int64_t, std::string>> expected = {
        {0, "0d"},    {6, "6d"},   {7, "1w"},   {29, "4w"},  {30, "1m"},
        {364, "12m"}, {365, "1y"}, {729, "1y"}, {730, "2y"}, {-3, "-3d"}};
    for (const auto& [days, code] : expected)
        EXPECT_EQ(controller->convertDaysToReadableFormat(days), code) << days;
}

TEST_F(Pricing, EntriesMapToPlansWithCheckoutLinks) {
    auto controller = loadedController();
    const std::string base = std::string(PricingController::webBase) + "/checkout?plan=";
    const std::vector<std::string> benefits = {"5 devices", "Unlimited access to all VPN servers",
                                               "24/7 Technical support", "Premium support"};

    auto monthly = controller->plan(
        JSON::parseJSON(R"({"name":"Monthly","total_days":30,"is_unlimited":false,"price":"$9.99"})"),
        "a@b.example");
    ASSERT_TRUE(monthly.has_value());
    EXPECT_EQ(*monthly,
              (PricingView::Plan{"Monthly", "30 days", "$9.99", base + "1m&email=a@b.example", benefits}));

    auto lifetime = controller->plan(
        JSON::parseJSON(R"({"name":"Forever Deal","total_days":0,"is_unlimited":true,"price":"$199"})"), "");
    ASSERT_TRUE(lifetime.has_value());
    EXPECT_EQ(lifetime->name, "Lifetime");
    EXPECT_EQ(lifetime->duration, "Forever");
    EXPECT_EQ(lifetime->purchaseURL, base + "lifetime&email=");

    auto century = controller->plan(
        JSON::parseJSON(R"({"name":"x","total_days":36500,"is_unlimited":true,"price":"$1"})"), "");
    EXPECT_EQ(century->duration, "36500 days");

    auto boolDays = controller->plan(
        JSON::parseJSON(R"({"name":"Day","total_days":true,"is_unlimited":false,"price":"$1"})"), "");
    ASSERT_TRUE(boolDays.has_value());
    EXPECT_EQ(boolDays->duration, "1 days");
    EXPECT_EQ(boolDays->purchaseURL, base + "1d&email=");

    for (const char* broken : {R"({"name":"A","total_days":30,"is_unlimited":false,"price":9.99})",
                               R"({"name":"A","total_days":"30","is_unlimited":false,"price":"$1"})",
                               R"({"name":"A","total_days":30,"price":"$1"})", R"(["A",30,false,"$1"])"})
        EXPECT_FALSE(controller->plan(JSON::parseJSON(broken), "").has_value()) << broken;
}

TEST_F(Pricing, CheckoutLinkEncodesTheAddressAsAQueryValue) {
    auto controller = loadedController();
    auto entry =
        JSON::parseJSON(R"({"name":"Monthly","total_days":30,"is_unlimited":false,"price":"$9.99"})");
    EXPECT_EQ(controller->plan(entry, "first.last_x-y~z@mail.example")->purchaseURL,
              std::string(PricingController::webBase) +
                  "/checkout?plan=1m&email=first.last_x-y~z@mail.example");
    EXPECT_EQ(controller->plan(entry, "a+b&plan=lifetime#@x.example")->purchaseURL,
              std::string(PricingController::webBase) +
                  "/checkout?plan=1m&email=a%2Bb%26plan%3Dlifetime%23@x.example");
}

TEST_F(Pricing, FetchPublishesTheCatalogueInReplyOrder) {
    signInDemo();
    Preferences::setEmail("demo@velmora.example");
    auto controller = std::make_unique<PricingController>();
    EXPECT_TRUE(controller->plans.get().empty());
    waitFor([&] { return !controller->plans.get().empty(); });

    auto plans = controller->plans.get();
    ASSERT_EQ(plans.size(), 4u);
    EXPECT_EQ(plans[0].name, "Monthly");
    EXPECT_EQ(plans[0].duration, "30 days");
    EXPECT_EQ(plans[0].price, "9.99");
    EXPECT_EQ(plans[1].duration, "180 days");
    EXPECT_EQ(plans[1].purchaseURL,
              std::string(PricingController::webBase) + "/checkout?plan=6m&email=demo@velmora.example");
    EXPECT_EQ(plans[2].purchaseURL,
              std::string(PricingController::webBase) + "/checkout?plan=1y&email=demo@velmora.example");
    EXPECT_EQ(plans[3].name, "Lifetime");
    EXPECT_EQ(plans[3].duration, "Forever");
    EXPECT_EQ(plans[3].purchaseURL,
              std::string(PricingController::webBase) + "/checkout?plan=lifetime&email=demo@velmora.example");
    EXPECT_EQ(plans[3].benefits.size(), 4u);
}

TEST_F(Pricing, FailedOrUnusableRepliesKeepTheShownList) {
    signInDemo();
    auto controller = std::make_unique<PricingController>();
    waitFor([&] { return controller->plans.get().size() == 4; });
    int changes = 0;
    auto watch = controller->objectWillChange().sink([&] { ++changes; });

    ConsoleCapture console;
    server_.setFault("vpn/plans", Fault{Fault::Kind::NonJson, {}});
    controller->fetchPlans();
    waitFor([&] { return console.countStartingWith("Error fetching plans: ") == 1; });

    server_.setFault("vpn/plans", Fault{Fault::Kind::NotFoundJson, {}}); // an object, not a list
    controller->fetchPlans();
    waitFor([&] { return console.countStartingWith("GET: ") == 2; });
    plat::RunLoop::main().drain();

    EXPECT_EQ(controller->plans.get().size(), 4u);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(console.countStartingWith("Error fetching plans: "), 1u);
}

TEST_F(Pricing, ReplyAfterTheControllerIsGoneIsDropped) {
    signInDemo();
    server_.setFault("vpn/plans", Fault{Fault::Kind::Delay, std::chrono::milliseconds(100)});
    ConsoleCapture console;
    { PricingController controller; }
    // The reply is handled (and logged) after the controller is gone; it must touch nothing.
    waitFor([&] { return console.countStartingWith("GET: ") == 1; });
    plat::RunLoop::main().drain();
    EXPECT_EQ(console.lines().size(), 1u);
}
