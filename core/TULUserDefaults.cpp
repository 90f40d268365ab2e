#include "core/TULUserDefaults.h"

#include "platform/foundation/PropertyList.h"
#include "platform/foundation/UserDefaults.h"
#include "utilities/TULLogger.h"

namespace {

constexpr const char* kSubsystem = "com.tessera.utilities.logger";
constexpr const char* kReadCategory = "<TesseraUtilities>";
constexpr const char* kWriteCategory = "[TesseraUtilities/UserDefaults]";

std::string messageCode(long number) {
    return TULStringWithFormat("I-TUL%06ld", TULMakeFormatArguments(number));
}

std::shared_ptr<plat::UserDefaults> standardDefaults() {
    // The standard defaults live for the whole process; the handle does not own them.
    return std::shared_ptr<plat::UserDefaults>(&plat::UserDefaults::standard(), [](plat::UserDefaults*) {});
}

// Only these kinds are property-list values, and a container only when everything inside it is
// one: a nested foreign value would make the whole domain unwritable.
bool isPropertyListValue(const plat::Object& value) {
    switch (value.kind()) {
    case plat::Object::Kind::String:
    case plat::Object::Kind::Number:
    case plat::Object::Kind::Array:
    case plat::Object::Kind::Dict:
    case plat::Object::Kind::Date:
    case plat::Object::Kind::Data:
        return plat::PropertyList::isValid(value);
    default:
        return false;
    }
}

} // namespace

TULUserDefaults& TULUserDefaults::standardUserDefaults() {
    static auto* shared = new TULUserDefaults();
    return *shared;
}

TULUserDefaults::TULUserDefaults() : userDefaults_(standardDefaults()) {}

TULUserDefaults::TULUserDefaults(const std::string& suiteName)
    : userDefaults_(suiteName.empty() ? standardDefaults() : plat::UserDefaults::suite(suiteName)) {}

bool TULUserDefaults::isReadableKey(const std::string& key) const {
    if (!key.empty()) return true;
    TULOSLogWarning(kSubsystem, kReadCategory, false, messageCode(1),
                    "Cannot get object for invalid user default key.");
    return false;
}

plat::Object TULUserDefaults::objectForKey(const std::string& key) const {
    if (!isReadableKey(key)) return {};
    return userDefaults_->object(key);
}

void TULUserDefaults::setObject(const plat::Object& value, const std::string& key) {
    if (key.empty()) {
        TULOSLogWarning(kSubsystem, kWriteCategory, false, messageCode(2),
                        "Cannot set object for invalid user default key.");
        return;
    }
    if (value.isAbsent()) {
        userDefaults_->remove(key);
        return;
    }
    if (!isPropertyListValue(value)) {
        TULOSLogWarning(kSubsystem, kWriteCategory, false, messageCode(3),
                        "Cannot set invalid object to user defaults. Must be a string, number, array, "
                        "dictionary, date, or data. Value: %@",
                        value.debugDescription());
        return;
    }
    userDefaults_->set(key, value);
}

int64_t TULUserDefaults::integerForKey(const std::string& key) const {
    if (!isReadableKey(key)) return 0;
    return userDefaults_->integer(key);
}

float TULUserDefaults::floatForKey(const std::string& key) const {
    return static_cast<float>(doubleForKey(key));
}

double TULUserDefaults::doubleForKey(const std::string& key) const {
    if (!isReadableKey(key)) return 0;
    return userDefaults_->doubleValue(key);
}

bool TULUserDefaults::boolForKey(const std::string& key) const {
    return isReadableKey(key) && userDefaults_->boolean(key);
}

std::optional<std::string> TULUserDefaults::stringForKey(const std::string& key) const {
    plat::Object value = objectForKey(key);
    if (!value.isString()) return std::nullopt;
    return value.string();
}

std::optional<plat::Object::Array> TULUserDefaults::arrayForKey(const std::string& key) const {
    plat::Object value = objectForKey(key);
    if (!value.isArray()) return std::nullopt;
    return value.array();
}

std::optional<plat::Object::Dict> TULUserDefaults::dictionaryForKey(const std::string& key) const {
    plat::Object value = objectForKey(key);
    if (!value.isDict()) return std::nullopt;
    return value.dict();
}
