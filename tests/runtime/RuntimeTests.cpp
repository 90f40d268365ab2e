#include "platform/log/OSLog.h"
#include "platform/runtime/Invocation.h"
#include "platform/runtime/KeyValueObserving.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/runtime/Runtime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>

namespace {

using namespace plat::rt;

// A class name no other test uses.
std::string uniqueName(const std::string& stem) {
    static std::atomic<int> counter{0};
    return stem + std::to_string(++counter);
}

IMP answering(Value value) {
    return makeImplementation([value](const Id&, SEL, const Arguments&) { return value; });
}

TEST(Runtime, ClassPairsAreFoundOnceRegisteredAndNamesAreTakenOnce) {
    Class root = getClass(kNSObjectClassName);
    ASSERT_TRUE(root);
    std::string name = uniqueName("Pair");
    Class cls = allocateClassPair(root, name, 0);
    ASSERT_TRUE(cls);
    EXPECT_EQ(getClass(name), nullptr) << "not findable while being made";
    EXPECT_EQ(allocateClassPair(root, name, 0), nullptr) << "a name being made is taken";
    EXPECT_EQ(createInstance(cls), nullptr);
    EXPECT_EQ(allocateClassPair(cls, uniqueName("Below"), 0), nullptr) << "the superclass must be registered";
    registerClassPair(cls);
    EXPECT_EQ(getClass(name), cls);
    EXPECT_EQ(allocateClassPair(root, name, 0), nullptr);
    EXPECT_EQ(superclass(cls), root);
    EXPECT_TRUE(isMetaClass(metaclass(cls)));
    EXPECT_EQ(superclass(metaclass(cls)), metaclass(root));

    std::string disposed = uniqueName("Disposed");
    disposeClassPair(allocateClassPair(root, disposed, 0));
    EXPECT_TRUE(allocateClassPair(root, disposed, 0)) << "a disposed pair frees its name";
}

TEST(Runtime, MessagingFindsMethodsUpTheChainAndRefusesUnknownSelectors) {
    Class base = allocateClassPair(getClass(kNSObjectClassName), uniqueName("Base"), 0);
    SEL greet = selector("greet");
    EXPECT_EQ(selector("greet"), greet);
    EXPECT_TRUE(addMethod(base, greet, answering(Value("base")), "@16@0:8"));
    EXPECT_FALSE(addMethod(base, greet, answering(Value("again")), "@16@0:8"));
    EXPECT_TRUE(addMethod(metaclass(base), selector("make"), answering(Value(7)), "q16@0:8"));
    registerClassPair(base);
    Class derived = allocateClassPair(base, uniqueName("Derived"), 0);
    registerClassPair(derived);

    Id object = createInstance(derived);
    EXPECT_EQ(*sendMessage(object, greet).plain(), plat::Object("base"));
    // A subclass may add its own method over an inherited one; the base keeps its own.
    EXPECT_TRUE(addMethod(derived, greet, answering(Value("derived")), "@16@0:8"));
    EXPECT_EQ(*sendMessage(object, greet).plain(), plat::Object("derived"));
    EXPECT_EQ(*sendMessage(createInstance(base), greet).plain(), plat::Object("base"));
    IMP previous = replaceMethod(derived, greet, answering(Value("replaced")), "ignored");
    EXPECT_EQ(*previous->body(object, greet, {}).plain(), plat::Object("derived"));
    EXPECT_EQ(methodTypeEncoding(getInstanceMethod(derived, greet)), "@16@0:8");

    EXPECT_EQ(sendMessage(classObject(derived), "make").plain()->number().int64Value(), 7);
    EXPECT_TRUE(sendMessage(nullptr, greet).isNil());
    EXPECT_TRUE(respondsToSelector(object, greet));
    EXPECT_FALSE(respondsToSelector(object, selector("missing")));
    try {
        sendMessage(object, "missing:");
        ADD_FAILURE() << "an unknown selector must raise";
    } catch (const RuntimeException& exception) {
        EXPECT_EQ(exception.name(), "NSInvalidArgumentException");
        EXPECT_NE(std::string(exception.what())
                      .find("-[" + className(derived) + " missing:]: unrecognized selector"),
                  std::string::npos);
    }
    EXPECT_EQ(
        sendMessage(object, "description").plain()->string().rfind("<" + className(derived) + ": 0x", 0), 0u);
}

TEST(Runtime, InstanceVariablesAreLaidOutByTheirEncodings) {
    Class cls = allocateClassPair(getClass(kNSObjectClassName), uniqueName("Laid"), 0);
    EXPECT_TRUE(addIvar(cls, "_flag", "c"));
    EXPECT_TRUE(addIvar(cls, "_count", "q"));
    EXPECT_TRUE(addIvar(cls, "_name", "@\"NSString\""));
    EXPECT_TRUE(addIvar(cls, "_frame", "{CGRect={CGPoint=dd}{CGSize=dd}}"));
    EXPECT_FALSE(addIvar(cls, "_count", "i")) << "a taken name";
    for (const char* unreadable : {"", "x", "{broken", "[3", "[x]", "^", "b0", "@\"open", "(u=i", "v"})
        EXPECT_FALSE(addIvar(cls, uniqueName("_bad"), unreadable)) << unreadable;
    std::string deep(40, '^');
    EXPECT_FALSE(addIvar(cls, "_deep", deep + "i")) << "nesting past the limit";
    registerClassPair(cls);
    EXPECT_FALSE(addIvar(cls, "_late", "i")) << "a registered class keeps its layout";

    std::vector<Ivar> ivars = copyIvarList(cls);
    ASSERT_EQ(ivars.size(), 4u);
    EXPECT_EQ(ivarName(ivars[0]), "_flag");
    EXPECT_EQ(ivarOffset(ivars[0]), 8u);
    EXPECT_EQ(ivarOffset(ivars[1]), 16u) << "aligned to 8";
    EXPECT_EQ(ivarOffset(ivars[2]), 24u);
    EXPECT_EQ(ivarOffset(ivars[3]), 32u);
    EXPECT_EQ(instanceSize(cls), 64u);

    Class sub = allocateClassPair(cls, uniqueName("LaidSub"), 0);
    EXPECT_TRUE(addIvar(sub, "_extra", "i"));
    EXPECT_FALSE(addIvar(sub, "_flag", "i")) << "a superclass's name";
    registerClassPair(sub);
    EXPECT_EQ(copyIvarList(sub).size(), 1u) << "only the class's own variables";
    EXPECT_EQ(instanceSize(sub), 68u);

    Id object = createInstance(sub);
    setIvar(object, ivars[2], Value("text"));
    setIvar(object, copyIvarList(sub)[0], Value(5));
    EXPECT_EQ(*getIvar(object, ivars[2]).plain(), plat::Object("text"));
    EXPECT_TRUE(getIvar(object, ivars[1]).isNil());
}

TEST(Runtime, ObjectsChangeClassAndKeepAssociatedObjects) {
    Class a = allocateClassPair(getClass(kNSObjectClassName), uniqueName("A"), 0);
    addIvar(a, "_value", "@");
    registerClassPair(a);
    Class b = allocateClassPair(a, uniqueName("B"), 0);
    addMethod(b, selector("which"), answering(Value("b")), "@16@0:8");
    registerClassPair(b);

    Id object = createInstance(a);
    setIvar(object, copyIvarList(a)[0], Value("kept"));
    EXPECT_EQ(objectSetClass(object, b), a);
    EXPECT_EQ(objectGetClass(object), b);
    EXPECT_EQ(*sendMessage(object, "which").plain(), plat::Object("b"));
    EXPECT_EQ(*getIvar(object, copyIvarList(a)[0]).plain(), plat::Object("kept"));

    static const char strongKey = 0, weakKey = 0;
    Id held = createInstance(a);
    WeakId watch = held;
    setAssociatedObject(object, &strongKey, Value(held), AssociationPolicy::Retain);
    setAssociatedObject(object, &weakKey, Value(held), AssociationPolicy::Assign);
    held.reset();
    EXPECT_FALSE(watch.expired()) << "a retained association keeps the object";
    EXPECT_EQ(getAssociatedObject(object, &weakKey).object(), watch.lock());
    setAssociatedObject(object, &strongKey, Value(), AssociationPolicy::Retain);
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(getAssociatedObject(object, &weakKey).isNil())
        << "an assigned object that went away reads nil";
}

TEST(Runtime, EncodingsSignaturesAndInvocations) {
    auto signature = MethodSignature::signatureWithObjCTypes(kContinueUserActivityTypes);
    ASSERT_TRUE(signature);
    EXPECT_EQ(signature->numberOfArguments(), 5u);
    EXPECT_EQ(signature->methodReturnType().encoding, "B");
    EXPECT_TRUE(signature->argumentType(4).isObject) << "a block";
    EXPECT_EQ(typeFromEncoding("(u=ic)")->size, 4u);
    EXPECT_EQ(typeFromEncoding("[4{p=cs}]")->size, 16u);
    EXPECT_EQ(typeFromEncoding("r^{opaque}")->size, 8u);
    for (const char* unreadable : {"", "v", "v16@0", "v16:0@8", "v16@0:8{", "i@:x", "B40@0:8@16@24@?32)"})
        EXPECT_FALSE(MethodSignature::signatureWithObjCTypes(unreadable)) << unreadable;

    Class cls = allocateClassPair(getClass(kNSObjectClassName), uniqueName("Target"), 0);
    addMethod(cls, selector("join:with:"), makeImplementation([](const Id&, SEL, const Arguments& arguments) {
                  return Value(arguments[0].plain()->string() + "+" +
                               std::to_string(arguments[1].plain()->number().int64Value()));
              }),
              "@32@0:8@16q24");
    registerClassPair(cls);
    auto invocation =
        Invocation::invocationWithMethodSignature(*MethodSignature::signatureWithObjCTypes("@32@0:8@16q24"));
    invocation->setTarget(createInstance(cls));
    invocation->setSelector(selector("join:with:"));
    EXPECT_TRUE(invocation->setArgument(Value("a"), 2));
    EXPECT_FALSE(invocation->setArgument(Value("not a number"), 3));
    EXPECT_TRUE(invocation->setArgument(Value(9), 3));
    EXPECT_FALSE(invocation->setArgument(Value(1), 4)) << "past the signature";
    EXPECT_FALSE(invocation->setArgument(Value(1), 1)) << "the selector's place";
    invocation->invoke();
    EXPECT_EQ(*invocation->returnValue().plain(), plat::Object("a+9"));
}

TEST(Runtime, TheApplicationHoldsItsDelegateWeaklyAndAnnouncesChanges) {
    Id application =
        sendMessage(classObject(getClass(kNSApplicationClassName)), "sharedApplication").object();
    ASSERT_TRUE(application);
    EXPECT_EQ(sendMessage(classObject(getClass(kNSApplicationClassName)), "sharedApplication").object(),
              application);
    const Protocol* protocol = getProtocol(kNSApplicationDelegateProtocolName);
    auto description = protocolMethodDescription(
        protocol, selector(kDidRegisterForRemoteNotificationsSelector), false, true);
    ASSERT_TRUE(description);
    EXPECT_EQ(description->types, kRemoteNotificationsTypes);
    EXPECT_FALSE(protocolMethodDescription(protocol, selector(kDidRegisterForRemoteNotificationsSelector),
                                           true, true));

    std::vector<std::pair<Value, Value>> changes;
    uint64_t token =
        addObserver(application, "delegate", [&](const Id&, const std::string&, const KeyValueChange& c) {
            changes.emplace_back(c.oldValue, c.newValue);
        });
    Id delegate = createInstance(getClass(kNSObjectClassName));
    sendMessage(application, "setDelegate:", {Value(delegate)});
    EXPECT_EQ(sendMessage(application, "delegate").object(), delegate);
    sendMessage(application, "setDelegate:", {Value()});
    removeObserver(token);
    sendMessage(application, "setDelegate:", {Value(delegate)});
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].second.object(), delegate);
    EXPECT_EQ(changes[1].first.object(), delegate);
    EXPECT_TRUE(changes[1].second.isNil());
    changes.clear();
    delegate.reset();
    EXPECT_TRUE(sendMessage(application, "delegate").isNil());
}

TEST(Runtime, ARaisedExceptionKeepsItsStackAndTheApplicationReportsIt) {
    Id application = sharedApplication();
    ASSERT_TRUE(application);
    std::optional<RuntimeException> raised;
    try {
        sendMessage(application, "aMessageNobodyAnswers");
    } catch (const RuntimeException& exception) {
        raised = exception;
    }
    ASSERT_TRUE(raised);
    EXPECT_EQ(raised->name(), "NSInvalidArgumentException");
    ASSERT_GE(raised->callStackReturnAddresses().size(), 2u);
    for (uint64_t address : raised->callStackReturnAddresses())
        EXPECT_GT(address, 4096u);

    Id exception = exceptionObject(*raised);
    EXPECT_EQ(className(objectGetClass(exception)), kNSExceptionClassName);
    EXPECT_EQ(*sendMessage(exception, "name").plain()->asString(), "NSInvalidArgumentException");
    EXPECT_EQ(*sendMessage(exception, "reason").plain()->asString(), raised->what());
    const plat::Object::Array& addresses =
        sendMessage(exception, "callStackReturnAddresses").plain()->array();
    ASSERT_EQ(addresses.size(), raised->callStackReturnAddresses().size());
    EXPECT_EQ(addresses.front().number().uint64Value(), raised->callStackReturnAddresses().front());

    // The platform's report is a line in the log; the process goes on.
    std::vector<std::string> lines;
    plat::OSLog::Sink previous =
        plat::OSLog::setSink([&](const plat::OSLog::Entry& entry) { lines.push_back(entry.text); });
    EXPECT_TRUE(respondsToSelector(application, selector(kReportExceptionSelector)));
    sendMessage(application, kReportExceptionSelector, {Value(exception)});
    plat::OSLog::setSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("Reported exception NSInvalidArgumentException: ") + raised->what());
}

} // namespace
