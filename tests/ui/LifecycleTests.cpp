// The update pass: which bodies run, appear/disappear order, receive subscriptions, change
// handlers, the will-update signal, settings from the defaults and environment objects.
#include "UITestSupport.h"

#include "platform/foundation/UserDefaults.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

using Log = std::shared_ptr<std::vector<std::string>>;

struct Counted : Screen {
    explicit Counted(std::string name, Log log) : name(std::move(name)), log(std::move(log)) {}
    std::string name;
    Log log;
    State<int> n{0};
    AnyView body() const override {
        log->push_back("body " + name);
        return Button(TextValue::verbatim(name + " " + std::to_string(n())), [this] { n.set(n() + 1); });
    }
};

struct Pair : Screen {
    explicit Pair(Log log) : log(std::move(log)) {}
    Log log;
    AnyView body() const override {
        log->push_back("body pair");
        return HStack({make<Counted>("a", log), make<Counted>("b", log)});
    }
};

TEST_F(UITest, IdleWindowEvaluatesNoBodyAndOnlyTheInvalidatedScreenRebuilds) {
    auto log = std::make_shared<std::vector<std::string>>();
    Host host(make<Pair>(log));
    RunLoop::main().drain();
    const std::size_t built = host.bodyEvaluations();
    EXPECT_EQ(*log, (std::vector<std::string>{"body pair", "body a", "body b"}));
    const std::size_t passes = UpdateCoordinator::shared().passCount();

    // Idle: turns of the main loop, explicit update requests and drawing evaluate nothing.
    for (int i = 0; i < 5; ++i) {
        mainQueue().async([] {});
        RunLoop::main().drain();
        host.update();
        (void)host.dump();
    }
    EXPECT_EQ(host.bodyEvaluations(), built);
    EXPECT_EQ(UpdateCoordinator::shared().passCount(), passes);

    // A change in "b" rebuilds "b" alone.
    log->clear();
    ASSERT_TRUE(host.click(host.require(Query::button("b 0"))));
    EXPECT_EQ(*log, std::vector<std::string>{"body b"});
    EXPECT_EQ(host.bodyEvaluations(), built + 1);

    // A new content size lays out again without a body.
    host.setContentSize({400, 300});
    RunLoop::main().drain();
    EXPECT_EQ(host.bodyEvaluations(), built + 1);
    EXPECT_EQ(host.root().frame(), (Rect{0, 0, 400, 300}));
    EXPECT_LE(host.require(Query::button("a 0")).frame().maxX(), 400);
}

TEST_F(UITest, AppearAndDisappearRunInTreeOrderAfterTheRebuild) {
    auto log = std::make_shared<std::vector<std::string>>();
    struct Tree : Screen {
        explicit Tree(Log log) : log(std::move(log)) {}
        Log log;
        State<bool> second{false};
        AnyView body() const override {
            auto mark = [log = log](std::string what) { return [log, what] { log->push_back(what); }; };
            AnyView first = VStack({Text("x").onAppear(mark("appear x")).onDisappear(mark("disappear x")),
                                    Text("y").onAppear(mark("appear y")).onDisappear(mark("disappear y"))})
                                .onAppear(mark("appear first"))
                                .onDisappear(mark("disappear first"));
            AnyView other = Text("z").onAppear(mark("appear z"));
            return VStack({If(!second(), first, other), Button("Swap", [this] { second.toggle(); })});
        }
    };
    Host host(make<Tree>(log));
    host.update();
    EXPECT_EQ(*log, (std::vector<std::string>{"appear first", "appear x", "appear y"}));
    log->clear();
    ASSERT_TRUE(host.click(host.require(Query::button("Swap"))));
    EXPECT_EQ(*log, (std::vector<std::string>{"disappear first", "disappear x", "disappear y", "appear z"}));
}

TEST_F(UITest, OnReceiveSubscribesOncePerIdentityAndReplaysTheCurrentValue) {
    auto model = std::make_shared<Model>();
    model->value = 4;
    auto seen = std::make_shared<std::vector<int>>();
    struct Listener : Screen {
        Listener(std::shared_ptr<Model> m, std::shared_ptr<std::vector<int>> seen) : model(m), seen(seen) {}
        std::shared_ptr<Model> model;
        std::shared_ptr<std::vector<int>> seen;
        State<int> rebuilds{0};
        State<bool> branch{false};
        AnyView body() const override {
            auto receiver = Text("listening").onReceive(model->value, [seen = seen](const int& v) {
                seen->push_back(v);
            });
            return VStack({If(branch(), receiver, receiver),
                           Button("Rebuild", [this] { rebuilds.set(rebuilds() + 1); }),
                           Button("Branch", [this] { branch.toggle(); })});
        }
    };
    Host host(make<Listener>(model, seen));
    host.update();
    EXPECT_EQ(*seen, std::vector<int>{4}); // the current value, once
    ASSERT_TRUE(host.click(host.require(Query::button("Rebuild"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Rebuild"))));
    EXPECT_EQ(*seen, std::vector<int>{4}); // rebuilding keeps the one subscription
    model->value = 5;
    EXPECT_EQ(*seen, (std::vector<int>{4, 5}));
    EXPECT_EQ(model->value.subscriberCount(), 1u);
    // A new identity subscribes anew and replays once; the old subscription is gone.
    ASSERT_TRUE(host.click(host.require(Query::button("Branch"))));
    EXPECT_EQ(*seen, (std::vector<int>{4, 5, 5}));
    EXPECT_EQ(model->value.subscriberCount(), 1u);
}

TEST_F(UITest, OnReceiveNotificationsAndTheLatestAction) {
    NotificationCenter center;
    auto seen = std::make_shared<std::vector<std::string>>();
    struct Screen1 : Screen {
        Screen1(NotificationCenter* c, std::shared_ptr<std::vector<std::string>> s) : center(c), seen(s) {}
        NotificationCenter* center;
        std::shared_ptr<std::vector<std::string>> seen;
        State<int> generation{0};
        AnyView body() const override {
            int g = generation();
            return Button("Next", [this] { generation.set(generation() + 1); })
                .onReceive(*center, "ping", [g, seen = seen](const Notification& n) {
                    seen->push_back(n.name + std::to_string(g));
                });
        }
    };
    Host host(make<Screen1>(&center, seen));
    host.update();
    center.post("other");
    center.post("ping");
    ASSERT_TRUE(host.click(host.require(Query::button("Next"))));
    center.post("ping");
    EXPECT_EQ(*seen, (std::vector<std::string>{"ping0", "ping1"}));
}

TEST_F(UITest, OnChangeRunsOnlyForChangedValues) {
    auto seen = std::make_shared<std::vector<int>>();
    struct Watch : Screen {
        explicit Watch(std::shared_ptr<std::vector<int>> s) : seen(std::move(s)) {}
        std::shared_ptr<std::vector<int>> seen;
        State<int> value{0};
        State<int> noise{0};
        AnyView body() const override {
            return VStack({Button("Same", [this] { noise.set(noise() + 1); }),
                           Button("Inc", [this] { value.set(value() + 1); })})
                .onChange(value(), std::function<void(const int&)>(
                                       [seen = seen](const int& v) { seen->push_back(v); }));
        }
    };
    Host host(make<Watch>(seen));
    host.update();
    EXPECT_TRUE(seen->empty());
    ASSERT_TRUE(host.click(host.require(Query::button("Same"))));
    EXPECT_TRUE(seen->empty());
    ASSERT_TRUE(host.click(host.require(Query::button("Inc"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Same"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Inc"))));
    EXPECT_EQ(*seen, (std::vector<int>{1, 2}));
}

TEST_F(UITest, WillUpdateIsSentBeforeTheRebuild) {
    auto log = std::make_shared<std::vector<std::string>>();
    auto token = UpdateCoordinator::shared().willUpdate().sink([log] { log->push_back("will update"); });
    Host host(make<Counted>("c", log));
    host.update();
    EXPECT_EQ(*log, (std::vector<std::string>{"will update", "body c"}));
    host.update(); // nothing to do: no pass, no signal
    EXPECT_EQ(log->size(), 2u);
}

TEST_F(UITest, AppStorageRedrawsWhenTheDefaultChangesElsewhere) {
    auto defaults = UserDefaults::inMemory();
    struct Settings : Screen {
        explicit Settings(std::shared_ptr<UserDefaults> d) : compact("CompactView", true, d) {}
        AppStorage<bool> compact;
        AnyView body() const override {
            return VStack(
                {VerbatimText(compact() ? "compact" : "wide"), Toggle("Compact", compact.binding())});
        }
    };
    Host host(make<Settings>(defaults));
    host.update();
    EXPECT_TRUE(host.find(Query::text("compact"))); // the default while unset
    defaults->set("CompactView", Object(false));
    RunLoop::main().drain();
    EXPECT_TRUE(host.find(Query::text("wide")));
    ASSERT_TRUE(host.setToggle(host.require(Query::toggle("Compact")), true));
    EXPECT_TRUE(defaults->boolean("CompactView"));
    EXPECT_TRUE(host.find(Query::text("compact")));
    defaults->set("CompactView", Object("not a bool")); // a string: read with the defaults' rules
    RunLoop::main().drain();
    EXPECT_TRUE(host.find(Query::text("wide")));
}

TEST_F(UITest, EnvironmentObjectsReachDescendantsAndAMissingOneLeavesAnEmptyPlace) {
    struct Reader : Screen {
        EnvironmentObject<Model> model;
        AnyView body() const override { return VerbatimText("model " + std::to_string(model->value())); }
    };
    auto model = std::make_shared<Model>();
    Host host(VStack({make<Reader>().environmentObject(model), make<Reader>()}));
    host.update();
    EXPECT_EQ(host.count(Query::textContaining("model ")), 1u);
    model->value = 9; // observed through the environment
    RunLoop::main().drain();
    EXPECT_TRUE(host.find(Query::text("model 9")));
}

} // namespace
