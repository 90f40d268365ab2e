#include "tests/utilities/UtilitiesLogCapture.h"

#include "utilities/TULAppDelegateSwizzler.h"
#include "utilities/TULSceneDelegateSwizzler.h"

#include "platform/runtime/KeyValueObserving.h"
#include "platform/runtime/PlatformClasses.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

namespace {

namespace rt = plat::rt;

std::string uniqueName(const std::string& stem) {
    static std::atomic<int> counter{0};
    return stem + std::to_string(++counter);
}

const rt::Protocol* delegateProtocol() {
    return rt::getProtocol(rt::kNSApplicationDelegateProtocolName);
}

class TULAppDelegateSwizzlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TULAppDelegateSwizzler::setInfoDictionaryForTesting(plat::Object::Dict{});
        TULAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken();
        TULAppDelegateSwizzler::clearInterceptors();
        application = TULAppDelegateSwizzler::sharedApplication();
        ASSERT_TRUE(application);
    }
    void TearDown() override {
        rt::sendMessage(application, "setDelegate:", {rt::Value()});
        TULAppDelegateSwizzler::clearInterceptors();
        TULAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken();
        TULAppDelegateSwizzler::setInfoDictionaryForTesting(std::nullopt);
        TULAppDelegateSwizzler::setUUIDSourceForTesting(nullptr);
    }

    // A class of the delegate protocol named "<stem><n>"; each method it is given records
    // "<tag> <selector>" and answers `answer`.
    rt::Class delegateClass(const std::string& stem, const std::vector<std::string>& selectors,
                            bool answer = false, bool conforming = true) {
        rt::Class cls = rt::allocateClassPair(rt::getClass(rt::kNSObjectClassName), uniqueName(stem), 0);
        rt::addIvar(cls, "_tag", "@");
        for (const std::string& name : selectors) {
            rt::addMethod(cls, rt::selector(name),
                          rt::makeImplementation([this, answer, cls](const rt::Id& self, rt::SEL cmd,
                                                                     const rt::Arguments& arguments) {
                              std::string line =
                                  rt::getIvar(self, rt::copyIvarList(cls)[0]).plain()->string() + " " +
                                  rt::selectorName(cmd);
                              if (arguments.size() > 1 && arguments[1].plain())
                                  line += " " + (arguments[1].plain()->isData()
                                                     ? "data " + plat::toString(arguments[1].plain()->data())
                                                     : arguments[1].plain()->debugDescription());
                              if (arguments.size() > 1 && arguments[1].error())
                                  line += " code " + std::to_string(arguments[1].error()->code);
                              calls.push_back(line);
                              return rt::Value(answer);
                          }),
                          name == rt::kContinueUserActivitySelector ? rt::kContinueUserActivityTypes
                                                                    : rt::kRemoteNotificationsTypes);
        }
        if (conforming) rt::addProtocol(cls, delegateProtocol());
        rt::registerClassPair(cls);
        return cls;
    }
    rt::Id make(rt::Class cls, const std::string& tag) {
        rt::Id object = rt::createInstance(cls);
        rt::setIvar(object, rt::copyIvarList(cls)[0], rt::Value(tag));
        return object;
    }
    rt::Id installDelegate(rt::Class cls) {
        rt::Id delegate = make(cls, "delegate");
        rt::sendMessage(application, "setDelegate:", {rt::Value(delegate)});
        return delegate;
    }
    // Calls the continue-activity method as the platform does, on the application's delegate.
    bool continueActivity() {
        rt::Id delegate = rt::sendMessage(application, "delegate").object();
        rt::Block handler = rt::makeBlock([](const rt::Arguments&) { return rt::Value(); });
        return rt::sendMessage(delegate, rt::kContinueUserActivitySelector,
                               {rt::Value(application), rt::Value("activity"), rt::Value(handler)})
            .boolValue();
    }

    utiltest::LogCapture log;
    rt::Id application;
    std::vector<std::string> calls;
};

TEST_F(TULAppDelegateSwizzlerTest, InterceptorsHearTheCallInOrderBeforeTheDelegateAndReleasedOnesAreDropped) {
    rt::Class real = delegateClass("RealDelegate", {rt::kContinueUserActivitySelector}, false);
    rt::Id delegate = installDelegate(real);
    rt::Class quiet = delegateClass("QuietInterceptor", {rt::kContinueUserActivitySelector}, false);
    rt::Class willing = delegateClass("WillingInterceptor", {rt::kContinueUserActivitySelector}, true);
    rt::Class deaf = delegateClass("DeafInterceptor", {});
    rt::Id a = make(quiet, "a"), b = make(willing, "b"), c = make(deaf, "c");
    auto idA = TULAppDelegateSwizzler::registerAppDelegateInterceptor(a);
    auto idB = TULAppDelegateSwizzler::registerAppDelegateInterceptor(b);
    auto idC = TULAppDelegateSwizzler::registerAppDelegateInterceptor(c);
    ASSERT_TRUE(idA && idB && idC);
    EXPECT_EQ(idA->rfind("TUL_0x", 0), 0u);

    TULAppDelegateSwizzler::proxyOriginalDelegate();
    rt::Class proxied = rt::objectGetClass(delegate);
    EXPECT_EQ(rt::className(proxied).rfind("TUL_" + rt::className(real) + "-", 0), 0u);
    EXPECT_EQ(rt::superclass(proxied), real);
    EXPECT_EQ(rt::sendMessage(delegate, "description")
                  .plain()
                  ->string()
                  .rfind("<" + rt::className(real) + ": 0x", 0),
              0u);
    EXPECT_EQ(TULAppDelegateSwizzler::originalDelegate(), delegate);
    EXPECT_EQ(rt::sendMessage(application, "delegate").object(), delegate);

    // The interceptors that answer the method run in the order of their IDs, then the delegate;
    // one true answer makes the answer true.
    EXPECT_TRUE(continueActivity());
    std::vector<std::pair<std::string, std::string>> byID{{*idA, "a"}, {*idB, "b"}};
    std::sort(byID.begin(), byID.end());
    std::vector<std::string> expected;
    for (const auto& entry : byID)
        expected.push_back(entry.second + " " + rt::kContinueUserActivitySelector + " \"activity\"");
    expected.push_back(std::string("delegate ") + rt::kContinueUserActivitySelector + " \"activity\"");
    EXPECT_EQ(calls, expected);

    // A released interceptor is skipped with a warning and dropped from the registry.
    b.reset();
    calls.clear();
    EXPECT_FALSE(continueActivity());
    EXPECT_EQ(calls, (std::vector<std::string>{
                         std::string("a ") + rt::kContinueUserActivitySelector + " \"activity\"",
                         std::string("delegate ") + rt::kContinueUserActivitySelector + " \"activity\""}));
    auto warnings = log.withCode("I-SWZ001010");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("AppDelegateProxy cannot find interceptor with ID " + *idB +
                               ". Removing the interceptor."),
              std::string::npos);
    EXPECT_EQ(TULAppDelegateSwizzler::interceptors().count(), 2u);
    EXPECT_FALSE(TULAppDelegateSwizzler::interceptors().objectForKey(*idB));
    auto created = log.withCode("I-SWZ001008");
    ASSERT_EQ(created.size(), 1u);
    EXPECT_NE(created[0].find("set the flag TesseraUtilitiesAppDelegateProxyEnabled to NO (Boolean)"),
              std::string::npos);
}

TEST_F(TULAppDelegateSwizzlerTest, WithoutAnyImplementationTheAnswerIsFalse) {
    rt::Id delegate = installDelegate(delegateClass("BareDelegate", {}));
    rt::Id silent = make(delegateClass("SilentInterceptor", {}), "s");
    TULAppDelegateSwizzler::registerAppDelegateInterceptor(silent);
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_FALSE(continueActivity());
    EXPECT_TRUE(calls.empty());
}

TEST_F(TULAppDelegateSwizzlerTest, TheInformationListSwitchesTheProxyOffOnlyWithABooleanFalse) {
    TULAppDelegateSwizzler::setInfoDictionaryForTesting(
        plat::Object::Dict{{"TesseraUtilitiesAppDelegateProxyEnabled", plat::Object("NO")}});
    EXPECT_TRUE(TULAppDelegateSwizzler::isAppDelegateProxyEnabled());
    EXPECT_TRUE(TULSceneDelegateSwizzler::isSceneDelegateProxyEnabled());
    TULAppDelegateSwizzler::setInfoDictionaryForTesting(
        plat::Object::Dict{{"TesseraAppDelegateProxyEnabled", plat::Object(0)}});
    EXPECT_FALSE(TULAppDelegateSwizzler::isAppDelegateProxyEnabled());
    TULAppDelegateSwizzler::setInfoDictionaryForTesting(
        plat::Object::Dict{{"TesseraUtilitiesAppDelegateProxyEnabled", plat::Object(false)}});
    EXPECT_FALSE(TULSceneDelegateSwizzler::isSceneDelegateProxyEnabled());

    rt::Class real = delegateClass("SwitchedOffDelegate", {rt::kContinueUserActivitySelector});
    rt::Id delegate = installDelegate(real);
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_EQ(rt::objectGetClass(delegate), real);
    auto lines = log.withCode("I-SWZ001011");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("App Delegate Proxy is disabled. "), std::string::npos);
}

TEST_F(TULAppDelegateSwizzlerTest, DelegatesThatCannotBeProxiedAreLeftAlone) {
    TULAppDelegateSwizzler::proxyOriginalDelegate(); // no delegate at all
    EXPECT_EQ(log.withCode("I-SWZ001012").size(), 1u);

    rt::Class stranger = delegateClass("Stranger", {rt::kContinueUserActivitySelector}, false, false);
    rt::Id delegate = installDelegate(stranger);
    TULAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken();
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_EQ(rt::objectGetClass(delegate), stranger);
    EXPECT_EQ(log.withCode("I-SWZ001014").size(), 1u);
}

TEST_F(TULAppDelegateSwizzlerTest, AClassPairThatExistsAlreadyIsNotTouched) {
    TULAppDelegateSwizzler::setUUIDSourceForTesting([] { return std::string("FIXED"); });
    rt::Class real = delegateClass("ClashingDelegate", {rt::kContinueUserActivitySelector});
    rt::Class taken = rt::allocateClassPair(rt::getClass(rt::kNSObjectClassName),
                                            "TUL_" + rt::className(real) + "-FIXED", 0);
    rt::registerClassPair(taken);
    rt::Id delegate = installDelegate(real);
    int changes = 0;
    uint64_t token =
        rt::addObserver(application, "delegate",
                        [&](const rt::Id&, const std::string&, const rt::KeyValueChange&) { ++changes; });
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    rt::removeObserver(token);
    EXPECT_EQ(rt::objectGetClass(delegate), real);
    auto lines = log.withCode("I-SWZ001005");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Subclass already exists. Original Class: " + rt::className(real) +
                            ", subclass: TUL_" + rt::className(real) + "-FIXED"),
              std::string::npos);
    // A failed proxy still hands the delegate to the application again.
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(rt::sendMessage(application, "delegate").object(), delegate);

    // A pair of that name still being made cannot be allocated a second time.
    rt::Class pending = delegateClass("PendingDelegate", {});
    ASSERT_TRUE(rt::allocateClassPair(rt::getClass(rt::kNSObjectClassName),
                                      "TUL_" + rt::className(pending) + "-FIXED", 0));
    rt::Id second = make(pending, "second");
    EXPECT_EQ(TULAppDelegateSwizzler::createSubclassWithObject(second), nullptr);
    EXPECT_EQ(log.withCode("I-SWZ001006").size(), 1u);
    EXPECT_EQ(rt::objectGetClass(second), pending);
}

TEST_F(TULAppDelegateSwizzlerTest, CopyingOverAnExistingMethodKeepsIt) {
    rt::Class target = delegateClass("CopyTarget", {rt::kContinueUserActivitySelector});
    rt::SEL selector = rt::selector(rt::kContinueUserActivitySelector);
    rt::IMP before = rt::classMethodImplementation(target, selector);
    TULAppDelegateSwizzler::addInstanceMethodWithDestinationSelector(
        selector, selector, TULAppDelegateSwizzler::donorClass(), target);
    EXPECT_EQ(rt::classMethodImplementation(target, selector), before);
    auto lines = log.withCode("I-SWZ001009");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Cannot copy method to destination selector " +
                            std::string(rt::kContinueUserActivitySelector) + " as it already exists"),
              std::string::npos);
}

TEST_F(TULAppDelegateSwizzlerTest, RegistrationRefusals) {
    EXPECT_FALSE(TULAppDelegateSwizzler::registerAppDelegateInterceptor(nullptr));
    EXPECT_EQ(log.withCode("I-SWZ001000").size(), 1u);
    rt::Id stranger = make(delegateClass("NotADelegate", {}, false, false), "x");
    EXPECT_FALSE(TULAppDelegateSwizzler::registerAppDelegateInterceptor(stranger));
    EXPECT_EQ(log.withCode("I-SWZ001001").size(), 1u);

    TULAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(std::nullopt);
    EXPECT_EQ(log.withCode("I-SWZ001003").size(), 1u);
    log.clear();
    TULAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(std::string());
    EXPECT_EQ(log.lines(),
              std::vector<std::string>{
                  "[TesseraUtilities/AppDelegateSwizzler] AppDelegateProxy cannot unregister empty "
                  "interceptor ID."});
    TULAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(std::string("TUL_0x1"));
    EXPECT_EQ(log.withCode("I-SWZ001004").size(), 1u);

    rt::Class cls = delegateClass("Registered", {});
    rt::Id gone = make(cls, "gone"), live = make(cls, "live");
    auto goneID = TULAppDelegateSwizzler::registerAppDelegateInterceptor(gone);
    auto liveID = TULAppDelegateSwizzler::registerAppDelegateInterceptor(live);
    gone.reset();
    TULAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(goneID);
    EXPECT_EQ(log.withCode("I-SWZ001004").size(), 2u);
    EXPECT_TRUE(TULAppDelegateSwizzler::interceptors().objectForKey(*goneID)) << "the entry stays";
    TULAppDelegateSwizzler::unregisterAppDelegateInterceptorWithID(liveID);
    EXPECT_FALSE(TULAppDelegateSwizzler::interceptors().objectForKey(*liveID));
}

TEST_F(TULAppDelegateSwizzlerTest, RemoteNotificationMethodsReachInterceptorsThroughInvocations) {
    rt::Class real = delegateClass("PushDelegate", {rt::kDidRegisterForRemoteNotificationsSelector});
    rt::Id delegate = installDelegate(real);
    rt::Id listener =
        make(delegateClass("PushInterceptor", {rt::kDidRegisterForRemoteNotificationsSelector,
                                               rt::kDidFailToRegisterForRemoteNotificationsSelector}),
             "listener");
    TULAppDelegateSwizzler::registerAppDelegateInterceptor(listener);
    TULAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods();
    TULAppDelegateSwizzler::proxyOriginalDelegateIncludingAPNSMethods(); // once per process
    EXPECT_TRUE(log.withCode("I-SWZ001009").empty());

    rt::Id current = rt::sendMessage(application, "delegate").object();
    ASSERT_EQ(current, delegate);
    rt::sendMessage(current, rt::kDidRegisterForRemoteNotificationsSelector,
                    {rt::Value(application), rt::Value(plat::Object(plat::toData("token")))});
    rt::sendMessage(current, rt::kDidFailToRegisterForRemoteNotificationsSelector,
                    {rt::Value(application), rt::Value(plat::Error("test.domain", 3))});
    std::string registered = rt::kDidRegisterForRemoteNotificationsSelector;
    std::string failed = rt::kDidFailToRegisterForRemoteNotificationsSelector;
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "listener " + registered + " data token");
    EXPECT_EQ(calls[1], "delegate " + registered + " data token");
    EXPECT_EQ(calls[2], "listener " + failed + " code 3") << "the delegate itself has no such method";
}

TEST_F(TULAppDelegateSwizzlerTest, ReplacingTheDelegateForgetsTheProxiedOneAndProxyingHappensOnce) {
    rt::Class real = delegateClass("FirstDelegate", {});
    rt::Id first = installDelegate(real);
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_EQ(TULAppDelegateSwizzler::originalDelegate(), first);
    EXPECT_TRUE(TULAppDelegateObserver::sharedInstance().isObserving());

    rt::Class other = delegateClass("SecondDelegate", {});
    rt::Id second = installDelegate(other);
    EXPECT_EQ(TULAppDelegateSwizzler::originalDelegate(), nullptr);
    EXPECT_FALSE(TULAppDelegateObserver::sharedInstance().isObserving());
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_EQ(rt::objectGetClass(second), other) << "proxying happened once already";
    TULAppDelegateSwizzler::resetProxyOriginalDelegateOnceToken();
    TULAppDelegateSwizzler::proxyOriginalDelegate();
    EXPECT_NE(rt::objectGetClass(second), other);
    EXPECT_EQ(TULAppDelegateSwizzler::originalDelegate(), second);
}

// Last in this file: the class it registers changes the texts for the rest of the process.
TEST_F(TULAppDelegateSwizzlerTest, TheProxyKeyFollowsTheCoreClass) {
    EXPECT_EQ(TULAppDelegateSwizzler::correctAppDelegateProxyKey(),
              "TesseraUtilitiesAppDelegateProxyEnabled");
    EXPECT_EQ(TULAppDelegateSwizzler::correctAlternativeWhenAppDelegateProxyNotCreated(), "");
    if (!rt::getClass("TSRCore"))
        rt::registerClassPair(rt::allocateClassPair(rt::getClass("NSObject"), "TSRCore", 0));
    EXPECT_EQ(TULAppDelegateSwizzler::correctAppDelegateProxyKey(), "TesseraAppDelegateProxyEnabled");
    EXPECT_EQ(TULAppDelegateSwizzler::correctAlternativeWhenAppDelegateProxyNotCreated(),
              "To log deep link campaigns manually, call the methods in TSRAnalytics+AppDelegate.h.");
}

} // namespace
