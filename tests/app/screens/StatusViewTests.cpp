// The status block: image, spinner and text for every tunnel status, and what a press asks of the
// controller in each.
#include "app/classes/Preferences.h"
#include "app/views/StatusView.h"
#include "tests/app/screens/ScreenTestSupport.h"

namespace {

using namespace screentest;
using plat::NEVPNStatus;
using plat::ui::ViewKind;

struct Row {
    NEVPNStatus status;
    const char* image;
    bool spinner;
    const char* text;
    int connects; // what one press asks of the tunnel helper
    int disconnects;
};

// A status value the platform may add later.
const NEVPNStatus kUnlisted = static_cast<NEVPNStatus>(9);

const Row kRows[] = {
    {NEVPNStatus::invalid, "notConnectedButton", false, "VPN Not Connected", 1, 0},
    {NEVPNStatus::disconnected, "notConnectedButton", false, "Not Connected", 1, 0},
    {NEVPNStatus::connecting, "connectingButton", true, "Connecting...", 0, 1},
    {NEVPNStatus::connected, "connectedButton", false, "Connected to VPN", 0, 1},
    {NEVPNStatus::reasserting, "connectingButton", true, "Reconnecting...", 0, 1},
    {NEVPNStatus::disconnecting, "connectingButton", true, "Disconnecting...", 0, 0},
    {kUnlisted, "connectingButton", true, "Error. Reconnecting...", 0, 0},
};

class StatusBlockTest : public ControllerScreenTest {
protected:
    void SetUp() override { show(plat::ui::make<StatusView>(controller_)); }
    plat::ui::NodeRef button() { return node(Query::testId("powerButton")); }
};

TEST_F(StatusBlockTest, EveryStatusShowsItsImageSpinnerAndTextAndAPressAsksTheController) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.text);
        controller_->connectionStatus = row.status;
        host().update();
        auto image = button().find(Query::kind(ViewKind::Image));
        ASSERT_TRUE(image);
        EXPECT_EQ(image.imageName(), row.image);
        EXPECT_EQ(image.frame().width, 150);
        EXPECT_EQ(image.frame().height, 150);
        EXPECT_EQ(static_cast<bool>(button().find(Query::kind(ViewKind::ProgressView))), row.spinner);
        auto text = node(Query::text(row.text));
        EXPECT_EQ(text.environment().effectiveFont().description(),
                  plat::ui::Font::system(20).bold().description());

        const int connects = helper_->connects, disconnects = helper_->disconnects;
        ASSERT_TRUE(host().click(button()));
        settle();
        EXPECT_EQ(helper_->connects - connects, row.connects);
        EXPECT_EQ(helper_->disconnects - disconnects, row.disconnects);
        // A press never changes the block itself; only a reported status does.
        EXPECT_TRUE(has(Query::text(row.text)));
    }
}

TEST_F(StatusBlockTest, TheConnectedTextReadsTheCountryAgainOnEveryRebuild) {
    controller_->connectionStatus = NEVPNStatus::connected;
    host().update();
    EXPECT_TRUE(has(Query::text("Connected to VPN")));
    Preferences::setCountryConnected("Optimal region\nGermany");
    // The setting is not observed: the text follows at the controller's next change.
    controller_->connectionStatus = NEVPNStatus::connected;
    host().update();
    EXPECT_TRUE(has(Query::text("Connected to Optimal region\nGermany")));
}

} // namespace
