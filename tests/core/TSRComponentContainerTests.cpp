#include "core/TSRApp.h"
#include "core/TSRComponentType.h"
#include "core/TSROptions.h"
#include "tests/core/CoreTestComponents.h"
#include "tests/core/CoreTestSupport.h"

using namespace coretest;

namespace {

class TSRComponentContainerTest : public CoreTest {
protected:
    std::shared_ptr<TSRApp> makeApp(const std::string& name) {
        return TSRApp::initInstanceWithName(name, TSROptions::initWithTesseraAppID("1:1:ios:ab", "1"));
    }
    std::shared_ptr<std::atomic<int>> counter() { return std::make_shared<std::atomic<int>>(0); }
};

} // namespace

TEST_F(TSRComponentContainerTest, FirstRegistrantOfAProtocolWins) {
    auto first = counter(), second = counter();
    TSRClassRef a = TSRClassRegistry::shared().registerClass(
        libraryClass("A", {countingComponent(lazyProtocol(), TSRInstantiationTimingLazy, first, "first")}));
    TSRClassRef b = TSRClassRegistry::shared().registerClass(
        libraryClass("B", {countingComponent(lazyProtocol(), TSRInstantiationTimingLazy, second, "second")}));
    auto app = makeApp("app");
    TSRComponentContainer container(app, {a, b});
    EXPECT_EQ(linesWithCode("I-COR000029").size(), 1u);
    auto instance = container.instanceFor<Provider>(lazyProtocol());
    ASSERT_TRUE(instance);
    EXPECT_EQ(instance->tag, "first");
    EXPECT_EQ(second->load(), 0);
}

TEST_F(TSRComponentContainerTest, CachingFollowsTheBlocksFlag) {
    auto cached = counter(), uncached = counter();
    TSRClassRef cls = TSRClassRegistry::shared().registerClass(libraryClass(
        "Lib", {countingComponent(lazyProtocol(), TSRInstantiationTimingLazy, cached, "c", true),
                countingComponent(eagerProtocol(), TSRInstantiationTimingLazy, uncached, "u", false)}));
    auto app = makeApp("app");
    TSRComponentContainer container(app, {cls});
    EXPECT_EQ(container.instanceForProtocol(lazyProtocol()), container.instanceForProtocol(lazyProtocol()));
    EXPECT_EQ(cached->load(), 1);
    EXPECT_NE(container.instanceForProtocol(eagerProtocol()), container.instanceForProtocol(eagerProtocol()));
    EXPECT_EQ(uncached->load(), 2);

    // Emptying the cache makes a fresh instance while the table still holds the block.
    auto before = container.instanceForProtocol(lazyProtocol());
    container.removeAllCachedInstances();
    EXPECT_NE(container.instanceForProtocol(lazyProtocol()), before);
    EXPECT_EQ(cached->load(), 2);
    // Without the table only the cache answers.
    container.removeAllComponents();
    EXPECT_TRUE(container.instanceForProtocol(lazyProtocol()));
    EXPECT_FALSE(container.instanceForProtocol(eagerProtocol()));
    container.removeAllCachedInstances();
    EXPECT_FALSE(container.instanceForProtocol(lazyProtocol()));
}

TEST_F(TSRComponentContainerTest, NullAndNonConformingInstances) {
    int calls = 0;
    auto nothing =
        TSRComponent::componentWithProtocol(otherProtocol(), [&](TSRComponentContainer&, bool* cacheable) {
            ++calls;
            *cacheable = true;
            return std::shared_ptr<TSRComponentInstance>();
        });
    // A Provider is no OtherProvider: logged, handed out all the same.
    auto wrong = countingComponent(TSRProtocol::of<OtherProvider>("Mislabelled"), TSRInstantiationTimingLazy,
                                   counter(), "w");
    TSRClassRef cls = TSRClassRegistry::shared().registerClass(libraryClass("Lib", {nothing, wrong}));
    auto app = makeApp("app");
    TSRComponentContainer container(app, {cls});

    EXPECT_FALSE(container.instanceForProtocol(otherProtocol()));
    EXPECT_FALSE(container.instanceForProtocol(otherProtocol()));
    EXPECT_EQ(calls, 2); // nothing cached, the block runs again
    EXPECT_TRUE(linesWithCode("I-COR000030").empty());

    auto mislabelled = TSRProtocol::of<OtherProvider>("Mislabelled");
    EXPECT_TRUE(container.instanceForProtocol(mislabelled));
    EXPECT_EQ(linesWithCode("I-COR000030").size(), 1u);
    EXPECT_FALSE(container.instanceFor<OtherProvider>(mislabelled));
    EXPECT_FALSE(
        TSRComponentType::instanceForProtocol(TSRProtocol::of<OtherProvider>("Unknown"), &container));
    EXPECT_TRUE(linesWithCode("I-COR000029").empty());
}

TEST_F(TSRComponentContainerTest, BlocksMayAskTheSameContainerAndEagerRunsOnce) {
    auto inner = counter();
    auto outer = TSRComponent::componentWithProtocol(
        eagerProtocol(), TSRInstantiationTimingAlwaysEager,
        [](TSRComponentContainer& container, bool* cacheable) {
            *cacheable = true;
            auto dependency = container.instanceFor<Provider>(lazyProtocol());
            return std::make_shared<Provider>("outer+" +
                                              (dependency ? dependency->tag : std::string("none")));
        });
    TSRClassRef cls = TSRClassRegistry::shared().registerClass(libraryClass(
        "Lib", {outer, countingComponent(lazyProtocol(), TSRInstantiationTimingLazy, inner, "inner")}));
    auto app = makeApp("app");
    TSRComponentContainer container(app, {cls});
    EXPECT_TRUE(container.hasPendingEagerComponents());
    container.instantiateEagerComponents();
    EXPECT_FALSE(container.hasPendingEagerComponents());
    EXPECT_EQ(container.instanceFor<Provider>(eagerProtocol())->tag, "outer+inner");
    EXPECT_EQ(inner->load(), 1);
    container.instantiateEagerComponents();
    EXPECT_EQ(inner->load(), 1);
}

TEST_F(TSRComponentContainerTest, ContainerHoldsItsAppWeakly) {
    auto app = makeApp("app");
    auto container = app->container();
    EXPECT_EQ(container->app(), app);
    std::weak_ptr<TSRApp> weak = app;
    app.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(container->app(), nullptr);
}

TEST_F(TSRComponentContainerTest, ExcludedAppLeavesOutTheOptionalRegistrant) {
    auto optional = counter();
    TSRComponentContainer::registerAsComponentRegistrant(TSRClassRegistry::shared().registerClass(
        libraryClass("TSROptionalComponent",
                     {countingComponent(lazyProtocol(), TSRInstantiationTimingLazy, optional, "o")})));
    auto excluded = TSRApp::initInstanceWithName(
        "ExcludedTSRApp", TSROptions::initWithTesseraAppID("1:1:ios:ab", "000000000000"));
    EXPECT_FALSE(excluded->container()->instanceForProtocol(lazyProtocol()));
    auto sameNameOtherSender =
        TSRApp::initInstanceWithName("ExcludedTSRApp", TSROptions::initWithTesseraAppID("1:1:ios:ab", "1"));
    EXPECT_TRUE(sameNameOtherSender->container()->instanceForProtocol(lazyProtocol()));
}

TEST_F(TSRComponentContainerTest, ClassRegistryBootstrapRunsLoadHooksOnce) {
    std::vector<std::string> loaded;
    TSRClass early;
    early.name = "Early";
    early.load = [&] { loaded.push_back("Early"); };
    TSRClassRegistry::shared().registerClass(early);
    // A second class of the same name keeps the first.
    TSRClass duplicate = early;
    duplicate.load = [&] { loaded.push_back("Duplicate"); };
    EXPECT_EQ(TSRClassRegistry::shared().registerClass(duplicate),
              TSRClassRegistry::shared().classNamed("Early"));
    EXPECT_TRUE(loaded.empty());

    TSRClassRegistry::shared().bootstrap();
    TSRClassRegistry::shared().bootstrap();
    EXPECT_EQ(loaded, std::vector<std::string>{"Early"});

    // A class that arrives later loads at once.
    TSRClass late;
    late.name = "Late";
    late.load = [&] { loaded.push_back("Late"); };
    TSRClassRegistry::shared().registerClass(late);
    EXPECT_EQ(loaded, (std::vector<std::string>{"Early", "Late"}));
    EXPECT_TRUE(TSRClassRegistry::shared().classNamed("Late"));
    EXPECT_FALSE(TSRClassRegistry::shared().classNamed("Missing"));
    EXPECT_FALSE(TSRClassRegistry::shared().classNamed("Late")->respondsToSelector("componentsToRegister"));
    EXPECT_TRUE(TSRClassRegistry::shared().classNamed("Late")->respondsToSelector("load"));
}
