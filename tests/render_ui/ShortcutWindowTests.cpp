// A menu bar command's shortcut pressed with real keys (XTEST, under a window manager) while an
// alert covers the window: the command acts at once, and dismissing the alert runs nothing more.
#include "platform/ui/Toolkit.h"
#include "tests/render_ui/HostWindowFixture.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace {

using namespace plat;
using namespace plat::ui;
using namespace std::chrono_literals;
using plat::render::WindowSystem;

struct Alerted : Screen {
    State<int> quits{0};
    State<bool> showAlert{true};
    AnyView body() const override {
        AnyView quit =
            Button("Quit", [this] { quits.set(quits() + 1); }).keyboardShortcut(KeyboardShortcut::key("q"));
        return VStack(HAlign::Leading,
                      {HStack({Menu(TextValue::verbatim("App"), {quit})}).menuBar(),
                       Text(TextValue::verbatim("Quits " + std::to_string(quits()))), Spacer()})
            .frame(400, 300)
            .background(Color::white())
            .alert(showAlert.binding(), [] {
                return Alert{TextValue::verbatim("About"),
                             TextValue::verbatim("Version 1"),
                             {AlertButton::normal(TextValue::verbatim("OK"))}};
            });
    }
};

class ShortcutWindowTest : public HostWindowFixture {
protected:
    void SetUp() override {
        REQUIRE_DISPLAY();
        REQUIRE_WINDOW_MANAGER();
        open(make<Alerted>(), "Shortcuts", /*followFocus=*/true);
    }
};

TEST_F(ShortcutWindowTest, AShortcutUnderAnAlertActsAtOnceAndNeverAgainLater) {
    auto until = [](const std::function<bool()>& done) { return WindowSystem::shared().runUntil(done, 5s); };
    ASSERT_FALSE(host->alerts().empty());
    input().key(XK_q, /*control=*/true);
    ASSERT_TRUE(until([&] { return bool(host->find(Query::text("Quits 1"))); })) << "the command did not act";
    EXPECT_FALSE(host->alerts().empty());
    // Return dismisses the alert; the command does not act a second time.
    input().key(XK_Return);
    ASSERT_TRUE(until([&] { return host->alerts().empty(); }));
    WindowSystem::shared().runUntil([] { return false; }, 500ms);
    EXPECT_TRUE(host->find(Query::text("Quits 1")));
}

} // namespace
