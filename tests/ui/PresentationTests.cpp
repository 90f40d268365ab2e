// Sheets and alerts presented and dismissed from their bindings.
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

struct SheetContent : Screen {
    EnvironmentObject<Model> model;
    State<int> taps{0};
    AnyView body() const override {
        return VStack({VerbatimText("sheet " + std::to_string(taps()) + " model " +
                                    std::to_string(model->value())),
                       Button("Tap sheet", [this] { taps.set(taps() + 1); })})
            .frame({.minWidth = 200, .minHeight = 100});
    }
};

struct Presenter : Screen {
    explicit Presenter(std::shared_ptr<std::vector<std::string>> log) : log(std::move(log)) {}
    std::shared_ptr<std::vector<std::string>> log;
    StateObject<Model> model;
    State<bool> showSheet{false};
    State<int> generation{0};
    AnyView body() const override {
        int g = generation();
        return VStack({VerbatimText("generation " + std::to_string(g)),
                       Button("Open", [this] { showSheet.set(!showSheet()); }),
                       Button("Bump", [this] { generation.set(generation() + 1); })})
            .sheet(
                showSheet.binding(),
                [this, g] {
                    return VStack({make<SheetContent>(), VerbatimText("presenter " + std::to_string(g)),
                                   Button("Close", [this] { showSheet.set(false); })});
                },
                [log = log] { log->push_back("dismissed"); })
            .environmentObject(model.get());
    }
};

TEST_F(UITest, SheetFollowsItsBindingBlocksTheContentAndKeepsTheEnvironment) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Presenter>(log));
    host.update();
    EXPECT_TRUE(host.sheets().empty());
    ASSERT_TRUE(host.click(host.require(Query::button("Open"))));
    ASSERT_EQ(host.sheets().size(), 1u);
    EXPECT_TRUE(host.find(Query::text("sheet 0 model 0")));
    // Sized to its content's ideal size, hanging from the top edge, centred.
    EXPECT_EQ(host.sheets()[0].frame(), (Rect{300, 0, 200, 156}));
    // The window content under the sheet takes no clicks.
    EXPECT_FALSE(host.click(host.require(Query::button("Bump"))));

    ASSERT_TRUE(host.click(host.require(Query::button("Tap sheet"))));
    EXPECT_TRUE(host.find(Query::text("sheet 1 model 0")));

    // Escape dismisses: the binding is written false and the sheet goes.
    EXPECT_TRUE(host.pressKey(Key::Escape));
    EXPECT_TRUE(host.sheets().empty());
    EXPECT_EQ(*log, std::vector<std::string>{"dismissed"});
    // Shown again, it starts afresh.
    ASSERT_TRUE(host.click(host.require(Query::button("Open"))));
    EXPECT_TRUE(host.find(Query::text("sheet 0 model 0")));
    ASSERT_TRUE(host.click(host.require(Query::button("Close"))));
    EXPECT_TRUE(host.sheets().empty());
}

TEST_F(UITest, SheetContentFollowsThePresenterWhileShown) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Presenter>(log));
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::button("Open"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Tap sheet"))));
    // Rebuild the presenter from outside input while the sheet is up (its old instance goes).
    auto bump = host.require(Query::button("Bump"));
    auto action = bump.data().controls->action;
    action();
    RunLoop::main().drain();
    EXPECT_TRUE(host.find(Query::text("presenter 1")));
    EXPECT_TRUE(host.find(Query::text("sheet 1 model 0"))); // the sheet's own state stays
    ASSERT_TRUE(host.click(host.require(Query::button("Close"))));
    EXPECT_TRUE(host.sheets().empty());
}

TEST_F(UITest, SheetIsNeverSmallerThanItsContentsMinimumAndFollowsItsSize) {
    // Content at least 600 × 400 whose controls sit at both edges, shown in a 300-point window.
    auto taps = std::make_shared<std::vector<std::string>>();
    auto sheet = [taps] {
        return HStack({Button("Left", [taps] { taps->push_back("left"); }), Spacer(),
                       Button("Right", [taps] { taps->push_back("right"); })})
            .frame({.minWidth = 600, .minHeight = 400});
    };
    Host host(VStack({Text("window")}).sheet(Binding<bool>::constant(true), sheet),
              {.contentSize = {300, 572}});
    host.update();
    ASSERT_EQ(host.sheets().size(), 1u);
    const Rect frame = host.sheets()[0].frame();
    EXPECT_EQ(frame, (Rect{-150, 0, 600, 400})) << "centred on the window, reaching past both edges";
    for (const char* title : {"Left", "Right"}) {
        const Rect button = host.require(Query::button(title)).frame();
        EXPECT_GE(button.x, frame.x) << title;
        EXPECT_LE(button.maxX(), frame.maxX()) << title;
        // A click where the button is drawn reaches it.
        EXPECT_TRUE(host.mouseClick(button.center())) << title;
    }
    EXPECT_EQ(*taps, (std::vector<std::string>{"left", "right"}));

    // A window wider than the content's ideal size shows the sheet at that size; a narrower one
    // never shrinks it below the minimum again.
    host.setContentSize({1000, 700});
    host.update();
    EXPECT_EQ(host.sheets()[0].frame().width, 600);
    EXPECT_EQ(host.sheets()[0].frame().x, 200);
    host.setContentSize({200, 300});
    host.update();
    EXPECT_EQ(host.sheets()[0].frame(), (Rect{-200, 0, 600, 400}));
    EXPECT_EQ(host.require(Query::button("Right")).frame().maxX(), 400);
}

struct Failing : Screen {
    State<bool> error{false};
    State<std::string> message{""};
    AnyView body() const override {
        return VStack({Button("Fail",
                              [this] {
                                  message.set("Please enter valid email");
                                  error.set(true);
                              }),
                       VerbatimText("message [" + message() + "]")})
            .alert(error.binding(), [this] {
                return Alert{"Message",
                             TextValue::verbatim(message()),
                             {AlertButton::destructive("OK", [this] { message.set(""); })}};
            });
    }
};

TEST_F(UITest, AlertFromABooleanRunsItsButtonAndResetsTheBinding) {
    Host host(make<Failing>());
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::button("Fail"))));
    ASSERT_EQ(host.alerts().size(), 1u);
    auto alert = host.alerts()[0];
    EXPECT_TRUE(alert.find(Query::text("Message")));
    EXPECT_TRUE(alert.find(Query::text("Please enter valid email")));
    EXPECT_FALSE(host.click(host.require(Query::button("Fail")))); // modal
    // Return presses the alert's default button.
    EXPECT_TRUE(host.pressKey(Key::Return));
    EXPECT_TRUE(host.alerts().empty());
    EXPECT_TRUE(host.find(Query::text("message []")));
    // Again at once: the same alert again.
    ASSERT_TRUE(host.click(host.require(Query::button("Fail"))));
    EXPECT_EQ(host.alerts().size(), 1u);
    ASSERT_TRUE(host.click(host.require(Query::button("OK"))));
    EXPECT_TRUE(host.alerts().empty());
}

TEST_F(UITest, AlertFromAnItemIsReplacedByAnotherAndClearedByItsButton) {
    struct Item {
        std::string title;
        std::string message;
        bool operator==(const Item&) const = default;
    };
    struct Notices : Screen {
        State<std::optional<Item>> active{std::nullopt};
        AnyView body() const override {
            return Button("Show",
                          [this] {
                              active.set(Item{"Restart Required", "now"});
                          })
                .alert(
                    active.binding(),
                    [](const Item& item) {
                        return Alert{TextValue::verbatim(item.title), TextValue::verbatim(item.message), {}};
                    })
                .onAppear([this] {
                    active.set(Item{"Error", "first"});
                });
        }
    };
    Host host(make<Notices>());
    host.update();
    ASSERT_EQ(host.alerts().size(), 1u); // set by onAppear, presented in the same pass
    EXPECT_TRUE(host.alerts()[0].find(Query::text("first")));
    // Escape without a cancel button closes it and clears the item.
    EXPECT_TRUE(host.pressKey(Key::Escape));
    EXPECT_TRUE(host.alerts().empty());
    ASSERT_TRUE(host.click(host.require(Query::button("Show"))));
    ASSERT_EQ(host.alerts().size(), 1u);
    EXPECT_TRUE(host.alerts()[0].find(Query::text("Restart Required")));
    ASSERT_TRUE(host.click(host.require(Query::button("OK"))));
    EXPECT_TRUE(host.alerts().empty());
}

} // namespace
