#include "utilities/TULSwizzler.h"

#include "utilities/TULAssertion.h"
#include "utilities/TULStringFormat.h"

#include "platform/dispatch/DispatchQueue.h"

namespace {

constexpr const char* kCategory = "[TULSwizzler]";

plat::DispatchQueue& swizzlerQueue() {
    static auto* queue = new plat::DispatchQueue(plat::DispatchQueue::serial("com.tessera.TULSwizzler"));
    return *queue;
}

// The class that holds the methods of the kind asked for.
plat::rt::Class holder(plat::rt::Class aClass, bool isClassSelector) {
    return isClassSelector ? plat::rt::metaclass(aClass) : aClass;
}

bool checkClassAndSelector(plat::rt::Class aClass, plat::rt::SEL selector) {
    if (!aClass) {
        TULAssertionFailed(kCategory, "The class cannot be Nil");
        return false;
    }
    if (!selector) {
        TULAssertionFailed(kCategory, "The selector cannot be NULL");
        return false;
    }
    return true;
}

std::string named(const char* format, plat::rt::Class aClass, plat::rt::SEL selector) {
    return TULStringWithFormat(
        format, TULMakeFormatArguments(plat::rt::className(aClass), plat::rt::selectorName(selector)));
}

} // namespace

void TULSwizzler::swizzleClass(plat::rt::Class aClass, plat::rt::SEL selector, bool isClassSelector,
                               plat::rt::MethodBlock block) {
    swizzlerQueue().sync([&] {
        if (!checkClassAndSelector(aClass, selector)) return;
        plat::rt::Class target = holder(aClass, isClassSelector);
        plat::rt::Method method = plat::rt::getInstanceMethod(target, selector);
        if (!method) {
            TULAssertionFailed(kCategory,
                               named("You're attempting to swizzle a method that doesn't exist. (%@, %@)",
                                     aClass, selector));
            return;
        }
        plat::rt::IMP replacement = plat::rt::implementationWithBlock(std::move(block));
        if (!replacement) return;
        // Replacing on the class itself keeps a superclass's method as it is.
        plat::rt::replaceMethod(target, selector, std::move(replacement),
                                plat::rt::methodTypeEncoding(method));
    });
}

plat::rt::IMP TULSwizzler::currentImplementationForClass(plat::rt::Class aClass, plat::rt::SEL selector,
                                                         bool isClassSelector) {
    plat::rt::IMP current;
    swizzlerQueue().sync([&] {
        if (!checkClassAndSelector(aClass, selector)) return;
        plat::rt::Method method = plat::rt::getInstanceMethod(holder(aClass, isClassSelector), selector);
        if (!method) {
            TULAssertionFailed(
                kCategory,
                named("The Method for this class/selector combo doesn't exist (%@, %@).", aClass, selector));
            return;
        }
        current = plat::rt::methodImplementation(method);
        if (!current)
            TULAssertionFailed(
                kCategory,
                named("The IMP for this class/selector combo doesn't exist (%@, %@).", aClass, selector));
    });
    return current;
}

bool TULSwizzler::selector(plat::rt::SEL selector, plat::rt::Class existsInClass, bool isClassSelector) {
    if (!selector || !existsInClass) return false;
    return plat::rt::getInstanceMethod(holder(existsInClass, isClassSelector), selector) != nullptr;
}

std::vector<plat::rt::Value> TULSwizzler::ivarObjectsForObject(const plat::rt::Id& object) {
    std::vector<plat::rt::Value> objects;
    for (plat::rt::Ivar ivar : plat::rt::copyIvarList(plat::rt::objectGetClass(object))) {
        if (plat::rt::ivarTypeEncoding(ivar).rfind('@', 0) != 0) continue;
        plat::rt::Value value = plat::rt::getIvar(object, ivar);
        if (!value.isNil()) objects.push_back(std::move(value));
    }
    return objects;
}
