#include "tests/utilities/UtilitiesLogCapture.h"

#include "utilities/TULSwizzler.h"

#include "platform/runtime/PlatformClasses.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

namespace rt = plat::rt;

std::string uniqueName(const std::string& stem) {
    static std::atomic<int> counter{0};
    return stem + "Swz" + std::to_string(++counter);
}

rt::IMP answering(std::string text) {
    return rt::makeImplementation(
        [text](const rt::Id&, rt::SEL, const rt::Arguments&) { return rt::Value(text); });
}

std::string say(const rt::Id& receiver, const std::string& selector) {
    return rt::sendMessage(receiver, selector).plain()->string();
}

// A base class with an instance and a class method, and a subclass that inherits both.
struct Classes {
    rt::Class base = rt::allocateClassPair(rt::getClass(rt::kNSObjectClassName), uniqueName("Base"), 0);
    rt::Class derived = nullptr;
    Classes() {
        rt::addMethod(base, rt::selector("speak"), answering("base"), "@16@0:8");
        rt::addMethod(rt::metaclass(base), rt::selector("kind"), answering("base kind"), "@16@0:8");
        rt::registerClassPair(base);
        derived = rt::allocateClassPair(base, uniqueName("Derived"), 0);
        rt::registerClassPair(derived);
    }
};

TEST(TULSwizzler, ReplacesInstanceAndClassMethodsKeepingTheirEncoding) {
    utiltest::LogCapture log;
    Classes classes;
    rt::SEL speak = rt::selector("speak");
    rt::IMP before = TULSwizzler::currentImplementationForClass(classes.base, speak, false);
    ASSERT_TRUE(before);

    // Swizzling the inherited method on the subclass leaves the base class alone.
    TULSwizzler::swizzleClass(
        classes.derived, speak, false, [before](const rt::Id& self, const rt::Arguments&) {
            return rt::Value("swizzled over " +
                             before->body(self, rt::selector("speak"), {}).plain()->string());
        });
    EXPECT_EQ(say(rt::createInstance(classes.derived), "speak"), "swizzled over base");
    EXPECT_EQ(say(rt::createInstance(classes.base), "speak"), "base");
    EXPECT_EQ(rt::methodTypeEncoding(rt::getInstanceMethod(classes.derived, speak)), "@16@0:8");
    EXPECT_NE(TULSwizzler::currentImplementationForClass(classes.derived, speak, false), before);

    TULSwizzler::swizzleClass(classes.base, rt::selector("kind"), true,
                              [](const rt::Id&, const rt::Arguments&) { return rt::Value("new kind"); });
    EXPECT_EQ(say(rt::classObject(classes.derived), "kind"), "new kind");
    EXPECT_TRUE(TULSwizzler::selector(rt::selector("kind"), classes.derived, true));
    EXPECT_FALSE(TULSwizzler::selector(rt::selector("kind"), classes.derived, false));
    EXPECT_FALSE(TULSwizzler::selector(nullptr, classes.derived, false));
    EXPECT_TRUE(log.lines().empty());
}

TEST(TULSwizzler, MissingClassSelectorOrMethodIsNamedAndChangesNothing) {
    utiltest::LogCapture log;
    Classes classes;
    auto block = [](const rt::Id&, const rt::Arguments&) { return rt::Value("never"); };
    TULSwizzler::swizzleClass(classes.base, rt::selector("absent"), false, block);
    TULSwizzler::swizzleClass(classes.base, rt::selector("speak"), true,
                              block); // no class method of that name
    TULSwizzler::swizzleClass(nullptr, rt::selector("speak"), false, block);
    TULSwizzler::swizzleClass(classes.base, nullptr, false, block);
    EXPECT_EQ(TULSwizzler::currentImplementationForClass(classes.base, rt::selector("absent"), false),
              nullptr);
    EXPECT_EQ(TULSwizzler::currentImplementationForClass(nullptr, rt::selector("speak"), false), nullptr);
    EXPECT_EQ(say(rt::createInstance(classes.base), "speak"), "base");
    EXPECT_FALSE(rt::classRespondsToSelector(classes.base, rt::selector("absent")));

    const std::string name = rt::className(classes.base);
    std::vector<std::string> expected{
        "[TULSwizzler] You're attempting to swizzle a method that doesn't exist. (" + name + ", absent)",
        "[TULSwizzler] You're attempting to swizzle a method that doesn't exist. (" + name + ", speak)",
        "[TULSwizzler] The class cannot be Nil",
        "[TULSwizzler] The selector cannot be NULL",
        "[TULSwizzler] The Method for this class/selector combo doesn't exist (" + name + ", absent).",
        "[TULSwizzler] The class cannot be Nil",
    };
    EXPECT_EQ(log.lines(), expected);
}

TEST(TULSwizzler, ObjectTypedVariablesOfTheObjectsOwnClass) {
    rt::Class base = rt::allocateClassPair(rt::getClass(rt::kNSObjectClassName), uniqueName("Holder"), 0);
    ASSERT_TRUE(rt::addIvar(base, "_inherited", "@"));
    rt::registerClassPair(base);
    rt::Class cls = rt::allocateClassPair(base, uniqueName("Own"), 0);
    ASSERT_TRUE(rt::addIvar(cls, "_first", "@\"NSString\""));
    ASSERT_TRUE(rt::addIvar(cls, "_count", "q"));
    ASSERT_TRUE(rt::addIvar(cls, "_empty", "@"));
    ASSERT_TRUE(rt::addIvar(cls, "_block", "@?"));
    ASSERT_TRUE(rt::addIvar(cls, "_pointer", "^@"));
    rt::registerClassPair(cls);
    auto ivars = rt::copyIvarList(cls);

    rt::Id object = rt::createInstance(cls);
    rt::Id other = rt::createInstance(base);
    rt::setIvar(object, rt::copyIvarList(base)[0], rt::Value(other));
    rt::setIvar(object, ivars[0], rt::Value("first"));
    rt::setIvar(object, ivars[1], rt::Value(3));
    rt::Block block = rt::makeBlock([](const rt::Arguments&) { return rt::Value(); });
    rt::setIvar(object, ivars[3], rt::Value(block));
    std::vector<rt::Value> expected{rt::Value("first"), rt::Value(block)};
    EXPECT_EQ(TULSwizzler::ivarObjectsForObject(object), expected);

    rt::Class plain = rt::allocateClassPair(rt::getClass(rt::kNSObjectClassName), uniqueName("Plain"), 0);
    rt::addIvar(plain, "_number", "i");
    rt::registerClassPair(plain);
    EXPECT_TRUE(TULSwizzler::ivarObjectsForObject(rt::createInstance(plain)).empty());
    EXPECT_TRUE(TULSwizzler::ivarObjectsForObject(nullptr).empty());
}

TEST(TULSwizzler, SwizzlesFromManyThreadsEachTakeEffectWhole) {
    Classes classes;
    std::vector<rt::SEL> selectors;
    for (int i = 0; i < 8; ++i) {
        selectors.push_back(rt::selector("method" + std::to_string(i)));
        rt::addMethod(classes.derived, selectors.back(), answering("original"), "@16@0:8");
    }
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 50; ++round)
                TULSwizzler::swizzleClass(
                    classes.derived, selectors[i], false, [i, round](const rt::Id&, const rt::Arguments&) {
                        return rt::Value(std::to_string(i) + "/" + std::to_string(round));
                    });
        });
    for (auto& thread : threads)
        thread.join();
    rt::Id object = rt::createInstance(classes.derived);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(say(object, "method" + std::to_string(i)), std::to_string(i) + "/49");
}

} // namespace
