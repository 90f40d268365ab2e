#include "platform/appkit/SMAppService.h"

#include "platform/appkit/AutostartEntry.h"
#include "platform/foundation/Bundle.h"

namespace plat {

SMAppService SMAppService::mainApp() {
    return SMAppService(Bundle::main().bundleIdentifier());
}

SMAppService SMAppService::loginItem(const std::string& identifier) {
    return SMAppService(identifier);
}

SMAppService::Status SMAppService::status() const {
    if (!identifier_ || !AutostartEntry::path(*identifier_)) return Status::notFound;
    switch (AutostartEntry::state(*identifier_)) {
    case AutostartEntry::State::Missing:
        return Status::notRegistered;
    case AutostartEntry::State::Enabled:
        return Status::enabled;
    case AutostartEntry::State::Disabled:
        return Status::requiresApproval;
    }
    return Status::notRegistered;
}

std::optional<Error> SMAppService::registerAndReturnError() const {
    if (!identifier_)
        return Error::withMessage(AutostartEntry::kErrorDomain, AutostartEntry::kErrorInvalidIdentifier,
                                  "The application has no bundle identifier.");
    std::string name = Bundle::main().objectForInfoDictionaryKey("CFBundleName").isString()
                           ? Bundle::main().objectForInfoDictionaryKey("CFBundleName").string()
                           : *identifier_;
    return AutostartEntry::write(*identifier_, name, AutostartEntry::currentExecutable());
}

std::optional<Error> SMAppService::unregisterAndReturnError() const {
    if (!identifier_)
        return Error::withMessage(AutostartEntry::kErrorDomain, AutostartEntry::kErrorInvalidIdentifier,
                                  "The application has no bundle identifier.");
    return AutostartEntry::remove(*identifier_);
}

} // namespace plat
