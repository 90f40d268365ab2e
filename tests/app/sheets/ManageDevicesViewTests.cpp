// The device sheet against the stand-in: the list loaded each time the sheet shows, the rows with
// their labels, symbols and tooltips, deleting a device, the load and deletion failures that
// replace the list with their message, and the close button that stays in its corner throughout.
#include "app/views/Device.h"
#include "app/views/ManageDevicesView.h"
#include "tests/app/sheets/SheetTestSupport.h"
#include "json/JSON.h"

namespace {

using namespace sheettest;
using plat::ui::NodeRef;
using plat::ui::ViewKind;

class ManageDevicesViewTest : public SheetTest {
protected:
    void showDevices() {
        show(plat::ui::make<Removable>(presence_, plat::ui::make<ManageDevicesView>(controller_)));
    }
    void reopen() {
        presence_->shown = false;
        host().update();
        presence_->shown = true;
        host().update();
    }
    bool loaded() { return has(Query::testId("devicesList")) || has(Query::testId("devicesError")); }
    // The rows' "Name: " lines, in order.
    std::vector<std::string> names() {
        std::vector<std::string> out;
        for (const auto& n : host().findAll(Query::textContaining("Name: ")))
            out.push_back(n.text());
        return out;
    }
    // The row showing `name`.
    NodeRef row(const std::string& name) {
        NodeRef text = node(Query::text("Name: " + name));
        NodeRef cur = text;
        while (cur && !cur.find(Query::button("Delete")))
            cur = cur.parent();
        return cur;
    }

    std::shared_ptr<Presence> presence_ = std::make_shared<Presence>();
};

TEST_F(ManageDevicesViewTest, ListsTheAccountsDevicesEachTimeItShows) {
    signInDemo();
    showDevices();
    EXPECT_TRUE(has(Query::text("Loading devices...")));
    EXPECT_EQ(node(Query::testId("ManageDevicesView")).navigationTitle(), "Manage Devices");
    ASSERT_TRUE(waitFor([&] { return loaded(); }));
    EXPECT_FALSE(has(Query::text("Loading devices...")));
    // The seeded devices in the service's order, then the one this sign-in registered.
    auto shown = names();
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(shown.begin(), shown.begin() + 3),
              (std::vector<std::string>{"Name: Studio MacBook", "Name: Pixel 8", "Name: Living Room TV"}));

    NodeRef mac = row("Studio MacBook");
    EXPECT_TRUE(mac.find(Query::text("OS: 14.4.1")));
    EXPECT_TRUE(mac.find(Query::text("Last Login: 2024-05-02T08:15:00Z")));
    EXPECT_EQ(mac.find(Query::help("macSA")).symbol(), "laptopcomputer")
        << "tooltip as sent, symbol by lower case";
    NodeRef phone = row("Pixel 8");
    EXPECT_TRUE(phone.find(Query::text("Last Login: Never"))) << "a null last sign-in";
    EXPECT_EQ(phone.find(Query::help("android")).symbol(), "questionmark.circle");
    EXPECT_EQ(row("Living Room TV").find(Query::help("tvOS")).symbol(), "appletv");
    EXPECT_EQ(requests("GET", "/api/devices"), 1u);

    reopen();
    ASSERT_TRUE(waitFor([&] { return requests("GET", "/api/devices") == 2; }));
}

TEST_F(ManageDevicesViewTest, DeletingADeviceRemovesItsRowWithoutReloading) {
    signInDemo();
    showDevices();
    ASSERT_TRUE(waitFor([&] { return loaded(); }));
    const auto before = names();

    ASSERT_TRUE(host().click(row("Pixel 8").find(Query::button("Delete"))));
    ASSERT_TRUE(waitFor([&] { return names().size() == 3; }));
    auto expected = before;
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(names(), expected) << "the others keep their order";
    EXPECT_EQ(requests("DELETE", "/api/devices/2"), 1u);
    EXPECT_EQ(requests("GET", "/api/devices"), 1u);
}

TEST_F(ManageDevicesViewTest, AFailedDeletionHidesTheListUntilTheSheetIsReopened) {
    signInDemo();
    showDevices();
    ASSERT_TRUE(waitFor([&] { return loaded(); }));
    // A reply without a JSON body is a failure.
    server_.setFault("devices/*", standin::Fault{standin::Fault::Kind::Empty});
    ASSERT_TRUE(host().click(row("Living Room TV").find(Query::button("Delete"))));
    ASSERT_TRUE(waitFor([&] { return has(Query::testId("devicesError")); }));
    NodeRef message = node(Query::testId("devicesError"));
    EXPECT_FALSE(message.text().empty());
    EXPECT_EQ(message.text().find("Failed to load devices"), std::string::npos) << "no prefix for a deletion";
    EXPECT_EQ(message.environment().foregroundColor, plat::ui::Color::red());
    EXPECT_FALSE(has(Query::testId("devicesList")));

    server_.clearFaults();
    reopen();
    ASSERT_TRUE(waitFor([&] { return has(Query::testId("devicesList")); }));
    EXPECT_EQ(names().size(), 4u) << "the device was never removed";
}

TEST_F(ManageDevicesViewTest, AFailedLoadShowsItsReason) {
    signInDemo();
    server_.setFault("devices", standin::Fault{standin::Fault::Kind::NonJson});
    showDevices();
    const double closeWhileLoading = node(Query::testId("closeButton")).frame().y;
    ASSERT_TRUE(waitFor([&] { return loaded(); }));
    EXPECT_EQ(node(Query::testId("devicesError")).text().rfind("Failed to load devices: ", 0), 0u);
    EXPECT_FALSE(has(Query::testId("devicesList")));
    EXPECT_EQ(node(Query::testId("closeButton")).frame().y, closeWhileLoading) << host().dump();
}

TEST_F(ManageDevicesViewTest, CloseButtonTurnsTheFlagOff) {
    controller_->showManageDevices = true;
    showDevices();
    ASSERT_TRUE(host().click(node(Query::testId("closeButton"))));
    EXPECT_FALSE(controller_->showManageDevices.get());
}

TEST(DeviceTest, ReadsEveryKeyAsTextAndNamesANeverUsedDevice) {
    const Device numeric(JSON(plat::toData(R"({"id":17,"device_name":"Desk","os":"12","platform":"web",)"
                                           R"("last_login_at":"2024-01-01"})"),
                              0));
    EXPECT_EQ(numeric, Device("17", "Desk", "12", "web", "2024-01-01"));
    for (const char* last :
         {R"({"id":"a"})", R"({"id":"a","last_login_at":null})", R"({"id":"a","last_login_at":""})"})
        EXPECT_EQ(Device(JSON(plat::toData(last), 0)), Device("a", "", "", "", "Never")) << last;
}

TEST(DeviceTest, PlatformCodesAreMatchedWithoutRegardToCase) {
    EXPECT_EQ(ManageDevicesView::platformSymbol("MacSA"), "laptopcomputer");
    EXPECT_EQ(ManageDevicesView::platformSymbol("Edge-Webstore"), "globe");
    EXPECT_EQ(ManageDevicesView::platformSymbol("android"), "questionmark.circle");
}

} // namespace

namespace {

TEST_F(ManageDevicesViewTest, AsASheetItShowsItsTitleAboveTheListAndLoadsOnce) {
    signInDemo();
    auto c = controller_;
    show(plat::ui::Text("main").sheet(plat::Binding<bool>::constant(true),
                                      [c] { return plat::ui::make<ManageDevicesView>(c); }));
    // The close button keeps its place in the sheet's corner whatever the body shows.
    auto closeInSheet = [&] {
        const plat::Rect close = node(Query::testId("closeButton")).frame();
        const plat::Rect sheet = host().sheets().at(0).frame();
        return std::pair{sheet.maxX() - close.maxX(), close.y - sheet.y};
    };
    ASSERT_TRUE(has(Query::text("Loading devices...")));
    const auto whileLoading = closeInSheet();
    ASSERT_TRUE(waitFor([&] { return loaded(); }));
    EXPECT_EQ(closeInSheet(), whileLoading) << host().dump();
    ASSERT_EQ(host().sheets().size(), 1u);
    const NodeRef title = host().sheets()[0].find(Query::text("Manage Devices"));
    ASSERT_TRUE(title) << host().dump();
    EXPECT_LE(title.frame().maxY(), node(Query::testId("closeButton")).frame().y);
    EXPECT_EQ(requests("GET", "/api/devices"), 1u) << "the heading does not start the sheet again";
}

} // namespace
