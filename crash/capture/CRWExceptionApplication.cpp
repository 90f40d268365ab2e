#include "crash/capture/CRWExceptionApplication.h"

#include "crash/capture/CRWException.h"
#include "crash/record/CRWApplication.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/runtime/PlatformClasses.h"
#include "platform/runtime/Runtime.h"

#include <mutex>
#include <string>
#include <vector>

namespace rt = plat::rt;

namespace {

constexpr const char* kCrashOnExceptionsKey = "NSApplicationCrashOnExceptions";

struct Hook {
    std::mutex lock;
    rt::IMP replacement = rt::makeImplementation(CRWNSApplicationReportException);
    // The implementation the replacement stands in front of; kept for the process's lifetime
    // (the crash context's exception part points at it).
    rt::IMP* previous = new rt::IMP();
};

Hook& hook() {
    static Hook* shared = new Hook();
    return *shared;
}

std::string text(const rt::Id& object, const char* selectorName) {
    if (!object || !rt::respondsToSelector(object, rt::selector(selectorName))) return {};
    rt::Value value = rt::sendMessage(object, selectorName);
    const std::string* string = value.plain() ? value.plain()->asString() : nullptr;
    return string ? *string : std::string();
}

std::vector<uint64_t> returnAddresses(const rt::Id& exception) {
    std::vector<uint64_t> addresses;
    rt::SEL selector = rt::selector("callStackReturnAddresses");
    if (!exception || !rt::respondsToSelector(exception, selector)) return addresses;
    rt::Value value = rt::sendMessage(exception, selector);
    if (!value.plain() || !value.plain()->isArray()) return addresses;
    for (const plat::Object& address : value.plain()->array())
        if (const plat::Number* number = address.asNumber(); number && !number->isBool())
            addresses.push_back(number->uint64Value());
    return addresses;
}

} // namespace

bool CRWApplicationCrashOnExceptions() {
    return plat::UserDefaults::standard().boolean(kCrashOnExceptionsKey);
}

void CRWExceptionInstallApplicationHook(CRWExceptionPart* part) {
    if (!CRWApplicationCrashOnExceptions() || !CRWApplicationSharedInstance()) return;
    rt::Class application = rt::getClass(rt::kNSApplicationClassName);
    if (!application) return;
    const rt::SEL selector = rt::selector(rt::kReportExceptionSelector);
    Hook& state = hook();
    std::lock_guard guard(state.lock);
    const rt::IMP current = rt::classMethodImplementation(application, selector);
    if (current != state.replacement) {
        *state.previous = current;
        rt::Method method = rt::getInstanceMethod(application, selector);
        rt::replaceMethod(application, selector, state.replacement,
                          method ? rt::methodTypeEncoding(method) : std::string(rt::kReportExceptionTypes));
    }
    if (part != nullptr) part->originalReportException = state.previous;
}

bool CRWExceptionApplicationHookInstalled() {
    rt::Class application = rt::getClass(rt::kNSApplicationClassName);
    if (!application) return false;
    Hook& state = hook();
    std::lock_guard guard(state.lock);
    return rt::classMethodImplementation(application, rt::selector(rt::kReportExceptionSelector)) ==
           state.replacement;
}

rt::Value CRWNSApplicationReportException(const rt::Id& application, rt::SEL selector,
                                          const rt::Arguments& arguments) {
    CRWExceptionRecordNSException(arguments.empty() ? nullptr : arguments[0].object());
    rt::IMP previous;
    {
        Hook& state = hook();
        std::lock_guard guard(state.lock);
        previous = *state.previous;
    }
    return previous ? previous->body(application, selector, arguments) : rt::Value();
}

void CRWExceptionRecordNSException(const rt::Id& exception) {
    const std::string name = text(exception, "name");
    const std::string reason = text(exception, "reason");
    const std::vector<uint64_t> addresses = returnAddresses(exception);
    CRWExceptionReportException(name.c_str(), reason.c_str(), addresses.data(), addresses.size());
}
