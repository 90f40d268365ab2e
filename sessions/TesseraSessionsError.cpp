#include "sessions/TesseraSessionsError.h"

const char* TesseraSessionsError::caseName(Kind kind) {
    switch (kind) {
    case Kind::SessionInstallationsError:
        return "SessionInstallationsError";
    case Kind::DataTransportError:
        return "DataTransportError";
    case Kind::SessionSamplingError:
        return "SessionSamplingError";
    case Kind::SessionInstallationsTimeOutError:
        return "SessionInstallationsTimeOutError";
    case Kind::DisabledViaSettingsError:
        return "DisabledViaSettingsError";
    case Kind::DataCollectionError:
        return "DataCollectionError";
    case Kind::NoDependenciesError:
        return "NoDependenciesError";
    }
    return "Unknown";
}

std::string TesseraSessionsError::description() const {
    std::string text = caseName(kind_);
    if (underlying_) text += "(" + underlying_->localizedDescription() + ")";
    return text;
}

std::string TesseraSessionsError::localizedDescription() const {
    if (underlying_) return underlying_->localizedDescription();
    return asError().localizedDescription();
}

plat::Error TesseraSessionsError::asError() const {
    return plat::Error("TesseraSessionsError", static_cast<int64_t>(kind_));
}
