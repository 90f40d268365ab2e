#include "installations/TSRInstallationsCoding.h"

#include "installations/TSRInstallationsLogger.h"
#include "platform/foundation/KeyedUnarchiver.h"

std::string TSRInstallationsDecodeString(plat::KeyedUnarchiver& coder, const std::string& key) {
    const plat::Object value = coder.decodeObjectForKey(key);
    if (value.isAbsent() || value.isNull()) return {};
    if (!value.isString()) {
        coder.failWithError(plat::KeyedUnarchiver::unexpectedClassError(
            key, plat::Object::kindName(value.kind()), "NSString"));
        return {};
    }
    return value.string();
}

std::optional<plat::Date> TSRInstallationsDecodeDate(plat::KeyedUnarchiver& coder, const std::string& key) {
    const plat::Object value = coder.decodeObjectForKey(key);
    if (value.isAbsent() || value.isNull()) return std::nullopt;
    if (!value.isDate()) {
        coder.failWithError(
            plat::KeyedUnarchiver::unexpectedClassError(key, plat::Object::kindName(value.kind()), "NSDate"));
        return std::nullopt;
    }
    return value.date();
}

int64_t TSRInstallationsDecodeStorageVersion(plat::KeyedUnarchiver& coder, int64_t current,
                                             const std::string& code, const std::string& message) {
    const int64_t version = coder.decodeInt64ForKey("storageVersion");
    if (version > current) TSRLogWarning(kTSRLoggerInstallations, code, message, version, current);
    return version;
}
