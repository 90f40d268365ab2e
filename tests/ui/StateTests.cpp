// State, state objects and identity: what survives a rebuild and what starts afresh.
#include "UITestSupport.h"

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

struct Child : Screen {
    StateObject<Model> model;
    State<int> taps{0};
    AnyView body() const override {
        return VStack({VerbatimText("taps " + std::to_string(taps())),
                       Button("Tap", [this] { taps.set(taps() + 1); })});
    }
};

struct Parent : Screen {
    State<bool> flipped{false};
    State<int> other{0};
    AnyView body() const override {
        return VStack({If(flipped(), make<Child>(), make<Child>()),
                       VerbatimText("other " + std::to_string(other())),
                       Button("Flip", [this] { flipped.toggle(); }),
                       Button("Bump", [this] { other.set(other() + 1); })});
    }
};

class StateTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        Model::reset();
    }
};

TEST_F(StateTest, StateSurvivesRebuildAndChangedBranchStartsAfresh) {
    Host host(make<Parent>());
    host.update();
    ASSERT_TRUE(host.find(Query::text("taps 0")));
    EXPECT_EQ(Model::made(), 1);

    ASSERT_TRUE(host.click(host.require(Query::button("Tap"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Tap"))));
    EXPECT_TRUE(host.find(Query::text("taps 2")));

    // The parent rebuilds (and constructs a new Child value); the child's state stays.
    ASSERT_TRUE(host.click(host.require(Query::button("Bump"))));
    EXPECT_TRUE(host.find(Query::text("other 1")));
    EXPECT_TRUE(host.find(Query::text("taps 2")));
    EXPECT_EQ(Model::made(), 1);
    EXPECT_EQ(Model::destroyed(), 0);

    // The other branch is another place: fresh state and a new state object. The old one goes
    // with its screen instance, one main-queue turn after that pass.
    ASSERT_TRUE(host.click(host.require(Query::button("Flip"))));
    EXPECT_TRUE(host.find(Query::text("taps 0")));
    EXPECT_EQ(Model::made(), 2);
    RunLoop::main().drain();
    EXPECT_EQ(Model::destroyed(), 1);
}

TEST_F(StateTest, ExplicitIdChangeResetsState) {
    struct Screen2 : Screen {
        State<int> id{1};
        AnyView body() const override {
            return VStack({make<Child>().id(id()), Button("Next", [this] { id.set(id() + 1); })});
        }
    };
    Host host(make<Screen2>());
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::button("Tap"))));
    EXPECT_TRUE(host.find(Query::text("taps 1")));
    ASSERT_TRUE(host.click(host.require(Query::button("Next"))));
    EXPECT_TRUE(host.find(Query::text("taps 0")));
}

TEST_F(StateTest, ForEachRowsKeepStateByIdWhenTheListChanges) {
    struct Rows : Screen {
        State<std::vector<int>> ids{std::vector<int>{1, 2, 3}};
        AnyView body() const override {
            return VStack(
                {ForEach(
                     ids(), [](int i) { return i; }, [](int) { return make<Child>(); }),
                 Button("Drop first", [this] { ids.modify([](auto& v) { v.erase(v.begin()); }); })});
        }
    };
    Host host(make<Rows>());
    host.update();
    auto taps = host.findAll(Query::button("Tap"));
    ASSERT_EQ(taps.size(), 3u);
    ASSERT_TRUE(host.click(taps[1])); // row 2
    ASSERT_TRUE(host.click(host.require(Query::button("Drop first"))));
    auto texts = host.findAll(Query::textContaining("taps "));
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].text(), "taps 1"); // row 2 moved up with its state
    EXPECT_EQ(texts[1].text(), "taps 0");
    RunLoop::main().drain();
    EXPECT_EQ(Model::destroyed(), 1);
}

TEST_F(StateTest, SettingFromMainQueueBlockRebuildsOneTurnLater) {
    auto probe = std::make_shared<std::function<void(int)>>();
    struct Probe : Screen {
        explicit Probe(std::shared_ptr<std::function<void(int)>> out) : out(std::move(out)) {}
        std::shared_ptr<std::function<void(int)>> out;
        State<int> n{0};
        AnyView body() const override {
            *out = [s = n](int v) { s.set(v); };
            return VerbatimText(std::to_string(n()));
        }
    };
    Host host(make<Probe>(probe));
    RunLoop::main().drain(); // the first pass, scheduled when the host was made
    EXPECT_TRUE(host.find(Query::text("0")));
    mainQueue().async([probe] { (*probe)(7); });
    EXPECT_TRUE(RunLoop::main().runOne()); // the block sets the state and asks for a pass
    EXPECT_TRUE(host.find(Query::text("0")));
    EXPECT_TRUE(host.needsUpdate());
    EXPECT_TRUE(RunLoop::main().runOne()); // the pass
    EXPECT_TRUE(host.find(Query::text("7")));
    EXPECT_FALSE(host.needsUpdate());
}

TEST_F(StateTest, ObservedObjectChangeOnAnotherThreadReachesTheMainThread) {
    auto model = std::make_shared<Model>();
    struct Watch : Screen {
        explicit Watch(std::shared_ptr<Model> m) : model(std::move(m)) {}
        ObservedObject<Model> model;
        AnyView body() const override { return VerbatimText("v" + std::to_string(model->value())); }
    };
    Host host(make<Watch>(model));
    host.update();
    std::thread([model] { model->value = 3; }).join();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return bool(host.find(Query::text("v3"))); }));
}

TEST_F(StateTest, TheInstanceOfAPlaceStaysForItsLifeAndOutlivesItByATurn) {
    auto seen = std::make_shared<std::vector<std::string>>();
    struct Deferred : Screen {
        explicit Deferred(std::shared_ptr<std::vector<std::string>> s, int round)
            : seen(std::move(s)), round(round) {}
        std::shared_ptr<std::vector<std::string>> seen;
        int round;
        State<int> n{0};
        AnyView body() const override {
            // Queued work reads the instance later; `round` is the value of the latest rebuild.
            return Button("Later", [this] {
                mainQueue().async([this] {
                    seen->push_back("round " + std::to_string(round) + " n " + std::to_string(n()));
                });
            });
        }
    };
    struct Holder : Screen {
        Holder(std::shared_ptr<std::vector<std::string>> s) : seen(std::move(s)) {}
        std::shared_ptr<std::vector<std::string>> seen;
        State<int> round{0};
        State<bool> shown{true};
        AnyView body() const override {
            return VStack({If(shown(), make<Deferred>(seen, round())),
                           Button("Again", [this] { round.set(round() + 1); }),
                           Button("Remove", [this] { shown.set(false); })});
        }
    };
    Host host(make<Holder>(seen));
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::button("Later"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Again")))); // rebuilds the child before the block runs
    RunLoop::main().drain();
    EXPECT_EQ(*seen, std::vector<std::string>{"round 1 n 0"});
    ASSERT_TRUE(host.click(host.require(Query::button("Later"))));
    ASSERT_TRUE(host.click(host.require(Query::button("Remove")))); // the place goes before the block runs
    RunLoop::main().drain();
    EXPECT_EQ(seen->size(), 2u);
}

TEST_F(StateTest, StateOutsideTheGraphKeepsItsOwnValue) {
    Child loose;
    loose.taps.set(4);
    EXPECT_EQ(loose.taps(), 4);
    EXPECT_TRUE(loose.model.get());
}

} // namespace

namespace {

TEST_F(StateTest, ObservationMovesToTheObjectTheParentHandsNow) {
    auto a = std::make_shared<Model>();
    auto b = std::make_shared<Model>();
    auto builds = std::make_shared<int>(0);
    struct Watch : Screen {
        Watch(std::shared_ptr<Model> m, std::shared_ptr<int> builds)
            : model(std::move(m)), builds(std::move(builds)) {}
        ObservedObject<Model> model;
        std::shared_ptr<int> builds;
        AnyView body() const override {
            ++*builds;
            return VerbatimText("value " + std::to_string(model->value()));
        }
    };
    struct Parent2 : Screen {
        Parent2(std::shared_ptr<Model> a, std::shared_ptr<Model> b, std::shared_ptr<int> n)
            : a(a), b(b), builds(n) {}
        std::shared_ptr<Model> a, b;
        std::shared_ptr<int> builds;
        State<bool> useB{false};
        AnyView body() const override {
            return VStack(
                {make<Watch>(useB() ? b : a, builds), Button("Switch", [this] { useB.set(true); })});
        }
    };
    Host host(make<Parent2>(a, b, builds));
    host.update();
    ASSERT_TRUE(host.click(host.require(Query::button("Switch"))));
    EXPECT_EQ(a->value.subscriberCount() + a->objectWillChange().subscriberCount(), 0u);
    const int before = *builds;
    a->value = 1; // no longer observed
    RunLoop::main().drain();
    EXPECT_EQ(*builds, before);
    b->value = 2;
    RunLoop::main().drain();
    EXPECT_EQ(*builds, before + 1);
    EXPECT_TRUE(host.find(Query::text("value 2")));
}

TEST_F(StateTest, RowsWithEqualIdsAreToldApartByOrder) {
    struct Plans : Screen {
        AnyView body() const override {
            std::vector<std::string> names{"Basic", "Basic", "Pro"};
            return VStack({ForEach(
                names, [](const std::string& n) { return n; },
                [](const std::string&) { return make<Child>(); })});
        }
    };
    Host host(make<Plans>());
    host.update();
    auto taps = host.findAll(Query::button("Tap"));
    ASSERT_EQ(taps.size(), 3u);
    ASSERT_TRUE(host.click(taps[1]));
    auto texts = host.findAll(Query::textContaining("taps "));
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].text(), "taps 0");
    EXPECT_EQ(texts[1].text(), "taps 1");
}

TEST_F(StateTest, AScreenThatInvalidatesItselfEveryTimeCannotHangThePass) {
    struct Restless : Screen {
        State<int> n{0};
        AnyView body() const override {
            n.set(n() + 1); // a fault in a screen: every body asks for another
            return VerbatimText("restless");
        }
    };
    auto host = std::make_unique<Host>(make<Restless>());
    EXPECT_TRUE(UpdateCoordinator::shared().updateNow()); // returns: the pass gives up after its rounds
    EXPECT_GT(host->bodyEvaluations(), 2u);
    EXPECT_LE(host->bodyEvaluations(), 20u);
    EXPECT_TRUE(host->find(Query::text("restless")));
    EXPECT_TRUE(host->needsUpdate()); // the rest waits for the next pass
    host.reset();
    RunLoop::main().drain();
}

} // namespace
