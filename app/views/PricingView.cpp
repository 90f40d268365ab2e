#include "app/views/PricingView.h"

#include "app/controllers/PricingController.h"
#include "app/controllers/VelmoraController.h"
#include "app/views/SheetCloseButton.h"
#include "platform/appkit/Workspace.h"
#include "platform/foundation/URL.h"

using namespace plat::ui;

namespace {

// The blue capsule of the "Retry" and "Get" labels.
AnyView capsuleLabel(TextValue title) {
    return Text(std::move(title))
        .padding()
        .background(Color::blue())
        .foregroundColor(Color::white())
        .clipShape(Shape::capsule());
}

} // namespace

void PricingView::PlanRow::openPurchaseURL(const std::string& purchaseURL) {
    auto url = plat::URL::string(purchaseURL);
    if (!url) return;
    (void)plat::Workspace::shared().open(*url);
}

void PricingView::PlanRow::openPurchaseURL(const std::string& purchaseURL, LinkOpener::Unopened unopened) {
    LinkOpener::open(purchaseURL, std::move(unopened));
}

AnyView PricingView::PlanRow::body() const {
    std::vector<AnyView> items = {
        VerbatimText(plan.name).font(Font::headline()),
        VerbatimText(plan.duration),
        Text(TextValue("$%@", {plan.price})).font(Font::title()),
        ForEach(
            plan.benefits, [](const std::string& benefit) { return benefit; },
            [](const std::string& benefit) {
                return Text(TextValue("• %@", {benefit})).font(Font::footnote());
            }),
        Button([url = plan.purchaseURL, unopened = unopenedLink] { openPurchaseURL(url, unopened); },
               capsuleLabel("   Get   "))
            .buttonStyle(ButtonStyle::Plain)
            .frame(std::nullopt, 50)
            .shadow(Color::black().opacity(0.33), 10),
    };
    AnyView card = VStack(HAlign::Center, 10, std::move(items))
                       .padding()
                       .overlay(ShapeView(Shape::roundedRectangle(8, true).strokeBorder(Color::blue(), 2)))
                       .clipShape(Shape::roundedRectangle(8, true))
                       .testId("PlanRow");
    return LinkOpener::alert(card, unopenedLink);
}

PricingView::PricingView(std::shared_ptr<VelmoraController> ctrl)
    : ctrl(std::move(ctrl)), pricingController([] { return std::make_shared<PricingController>(); }) {}

AnyView PricingView::body() const {
    auto controller = ctrl.get();
    AnyView header = HStack(VAlign::Center, {Spacer(), SheetCloseButton([controller] {
                                                 controller->showPricing = !controller->showPricing.get();
                                             })})
                         .padding(Edge::Horizontal);

    const auto plans = pricingController->plans.get();
    AnyView catalogue = If(
        plans.empty(),
        [this] {
            auto plansController = pricingController.get();
            return VStack(HAlign::Center, 20,
                          {Text("Failed to load pricing plans.").foregroundColor(Color::red()),
                           Button([plansController] { plansController->fetchPlans(); }, capsuleLabel("Retry"))
                               .buttonStyle(ButtonStyle::Plain)})
                .padding();
        },
        [&plans] {
            return HStack(VAlign::Center, 20,
                          {ForEach(
                              plans, [](const Plan& plan) { return plan.name; },
                              [](const Plan& plan) {
                                  return make<PlanRow>(plan).frame(FrameSpec{.maxWidth = infinity});
                              })})
                .padding(Edge::Horizontal);
        });
    return VStack(HAlign::Center, 20, {header, catalogue}).padding().testId("PricingView");
}
