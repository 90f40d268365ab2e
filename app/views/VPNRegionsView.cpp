#include "app/views/VPNRegionsView.h"

#include "app/classes/Preferences.h"
#include "app/views/VPNRegionRow.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Text.h"

using namespace plat::ui;

std::vector<VPNRegion> VPNRegionsView::filtered(const std::vector<VPNRegion>& regions,
                                                const std::string& searchTerm) {
    if (searchTerm.empty()) return regions;
    std::vector<VPNRegion> out;
    for (const VPNRegion& region : regions) {
        if (plat::text::caseInsensitiveContains(region.country_name, searchTerm) ||
            plat::text::caseInsensitiveContains(region.city, searchTerm))
            out.push_back(region);
    }
    return out;
}

void VPNRegionsView::currentRegionChanged(const std::shared_ptr<VelmoraController>& controller,
                                          const std::optional<int64_t>& regionId) {
    if (!regionId) return;
    // The stored id is the region already in use (or the controller's default pick, which it
    // stores before publishing): only a different one is the user's choice.
    if (*regionId == Preferences::configId()) return;
    plat::mainQueue().async([controller, id = *regionId] { controller->didSelectRegion(id); });
}

void VPNRegionsView::rowSubmitted(const std::shared_ptr<VelmoraController>& controller, const Tag& tag) {
    // Another region was chosen just now and switches on its own; the stored one, already chosen,
    // only connects, and only while the tunnel is down.
    if (tag.integer() != Preferences::configId()) return;
    const plat::NEVPNStatus status = controller->connectionStatus.get();
    if (status != plat::NEVPNStatus::disconnected && status != plat::NEVPNStatus::invalid) return;
    plat::mainQueue().async([controller] { controller->doConnect(); });
}

AnyView VPNRegionsView::searchField() const {
    const State<std::string> term = searchTerm;
    AnyView clear = If(!term.get().empty(), [term] {
        // No bezel of its own: the field's outline and focus ring stay visible around it.
        return Button([term] { term.set(std::string()); },
                      SystemImage("xmark.circle.fill").padding(Edge::Trailing, 8))
            .buttonStyle(ButtonStyle::Plain)
            .testId("clearSearch");
    });
    return TextField("Search by country or city...", term.binding())
        .padding(Edge::Leading, 30)
        .overlay(SystemImage("magnifyingglass").padding(Edge::Leading, 10), Alignment::leading())
        .textFieldStyle(TextFieldStyle::RoundedBorder)
        .overlay(clear, Alignment::trailing())
        .padding(2);
}

AnyView VPNRegionsView::regionList() const {
    std::shared_ptr<VelmoraController> controller = ctrl.get();
    plat::Binding<std::optional<int64_t>> selection(
        [controller] { return controller->currentRegion.get(); },
        [controller](const std::optional<int64_t>& id) { controller->currentRegion = id; });
    const std::vector<VPNRegion> shown = filtered(controller->regions.get(), searchTerm.get());
    AnyView rows = ForEach(
        shown, [](const VPNRegion& region) { return region.id; },
        [](const VPNRegion& region) { return make<VPNRegionRow>(region).tag(region.id); });
    // A new search starts at its first match: the row at the top is the first that matches. However
    // small the window, two whole rows (50-point flags, the gap between them and the list's insets)
    // stay in sight, so a region can still be picked.
    return List(selection, {rows})
        .scrollsToTopOnChange(searchTerm.get())
        .onReceive(controller->currentRegion,
                   [controller](const std::optional<int64_t>& id) { currentRegionChanged(controller, id); })
        .onRowSubmit([controller](const Tag& tag) { rowSubmitted(controller, tag); })
        .frame(FrameSpec{.minHeight = 120});
}

AnyView VPNRegionsView::body() const {
    std::shared_ptr<VelmoraController> controller = ctrl.get();
    return VStack(HAlign::Center,
                  {Text("VPN Regions List:").font(Font::headline()).padding(Edge::Leading, 10), searchField(),
                   regionList()})
        .onAppear([controller] {
            plat::mainQueue().async([controller] {
                controller->loadRegions();
                controller->showCurrentSubscription();
            });
        });
}
