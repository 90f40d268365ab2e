// When a parent builds again, a child screen made from equal arguments keeps the body it has, unless
// something of its own changed (its state, an object it observes, its environment); arguments that
// cannot be compared rebuild it every time.
#include "UITestSupport.h"

#include <functional>
#include <map>
#include <memory>

using namespace plat;
using namespace plat::ui;
using namespace uitest;

namespace {

std::map<std::string, int>& bodies() {
    static std::map<std::string, int> counts;
    return counts;
}

struct Row : Screen {
    explicit Row(std::string name) : name(std::move(name)) {}
    std::string name;
    State<int> taps{0};
    AnyView body() const override {
        ++bodies()[name];
        return HStack({VerbatimText(name + " " + std::to_string(taps())),
                       Button("Tap " + name, [this] { taps.set(taps() + 1); })});
    }
};

struct Watcher : Screen {
    explicit Watcher(std::shared_ptr<Model> model) : model(std::move(model)) {}
    ObservedObject<Model> model;
    AnyView body() const override {
        ++bodies()["watcher"];
        return VerbatimText("value " + std::to_string(model->value.get()));
    }
};

// Closures cannot be compared: the screen is built again with its parent.
struct Callback : Screen {
    explicit Callback(std::function<std::string()> label) : label(std::move(label)) {}
    std::function<std::string()> label;
    AnyView body() const override {
        ++bodies()["callback"];
        return VerbatimText(label());
    }
};

struct Parent : Screen {
    explicit Parent(std::shared_ptr<Model> model) : model(std::move(model)) {}
    std::shared_ptr<Model> model;
    State<int> bumps{0};
    State<std::string> second{std::string("b")};
    State<bool> large{false};
    AnyView body() const override {
        ++bodies()["parent"];
        const int n = bumps();
        return VStack({make<Row>(std::string("a")).tag(Tag(n)).testId("row a"), make<Row>(second()),
                       make<Watcher>(model), make<Callback>([n] { return "callback " + std::to_string(n); }),
                       Group({make<Row>(std::string("styled"))}).font(large() ? Font::title() : Font::body()),
                       Button("Bump", [this] { bumps.set(bumps() + 1); }),
                       Button("Rename", [this] { second.set(std::string("c")); }),
                       Button("Grow", [this] { large.set(true); })});
    }
};

class ScreenReuseTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        bodies().clear();
        host_ = std::make_unique<Host>(make<Parent>(model_));
        host_->update();
        bodies().clear();
    }
    void TearDown() override {
        host_.reset();
        UITest::TearDown();
    }
    void click(const std::string& title) { ASSERT_TRUE(host_->click(host_->require(Query::button(title)))); }

    std::shared_ptr<Model> model_ = std::make_shared<Model>();
    std::unique_ptr<Host> host_;
};

TEST_F(ScreenReuseTest, EqualArgumentsKeepTheBodyAndNewAttachmentsStillApply) {
    const std::size_t before = host_->bodyEvaluations();
    click("Bump");
    EXPECT_EQ(bodies()["parent"], 1);
    EXPECT_EQ(bodies()["a"], 0);
    EXPECT_EQ(bodies()["b"], 0);
    EXPECT_EQ(bodies()["watcher"], 0);
    EXPECT_EQ(bodies()["styled"], 1) << "a font modifier makes a new environment each build";
    EXPECT_EQ(bodies()["callback"], 1);
    EXPECT_TRUE(host_->find(Query::text("callback 1")));
    EXPECT_EQ(host_->bodyEvaluations() - before, 3u);
    // The tag attached to the kept screen is the new one.
    EXPECT_EQ(host_->require(Query::testId("row a")).tag(), Tag(1));
}

TEST_F(ScreenReuseTest, ChangedArgumentsRebuildAndStateStays) {
    click("Tap b");
    EXPECT_EQ(bodies()["b"], 1);
    EXPECT_EQ(bodies()["parent"], 0) << "the row's state is its own";
    EXPECT_TRUE(host_->find(Query::text("b 1")));
    click("Rename");
    EXPECT_EQ(bodies()["b"], 1);
    EXPECT_EQ(bodies()["c"], 1);
    EXPECT_EQ(bodies()["a"], 0);
    EXPECT_TRUE(host_->find(Query::text("c 1"))) << "same place, same state, new argument";
}

TEST_F(ScreenReuseTest, ObservedObjectAndEnvironmentChangesStillRebuild) {
    model_->value = 5;
    host_->update();
    EXPECT_EQ(bodies()["watcher"], 1);
    EXPECT_EQ(bodies()["parent"], 0);
    EXPECT_TRUE(host_->find(Query::text("value 5")));
    click("Grow");
    EXPECT_EQ(bodies()["styled"], 1);
    EXPECT_EQ(bodies()["watcher"], 1);
    EXPECT_EQ(bodies()["a"], 0);
    EXPECT_EQ(host_->require(Query::text("styled 0")).environment().effectiveFont(), Font::title());
}

TEST_F(ScreenReuseTest, IdleWindowEvaluatesNothing) {
    click("Bump");
    const std::size_t before = host_->bodyEvaluations();
    host_->update();
    host_->update();
    EXPECT_EQ(host_->bodyEvaluations(), before);
}

} // namespace
