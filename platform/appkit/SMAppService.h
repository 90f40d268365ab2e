// Login-item registration of the application (mainApp) or of a helper named by its identifier
// (loginItem), kept as an XDG autostart entry "<identifier>.desktop". Every call reads the entry
// afresh: the desktop session, not this object, holds the state.
#pragma once

#include "platform/object/Error.h"

#include <optional>
#include <string>

namespace plat {

class SMAppService {
public:
    enum class Status {
        notRegistered = 0,
        enabled = 1,
        // Registered, but the user switched the entry off in the session's startup settings.
        requiresApproval = 2,
        // No identifier to register under (the main bundle has none).
        notFound = 3,
    };

    // The application itself, under the main bundle's identifier.
    static SMAppService mainApp();
    // A helper login item.
    static SMAppService loginItem(const std::string& identifier);

    Status status() const;
    // Writes the entry (again, when present, switching it back on); the error says why not.
    std::optional<Error> registerAndReturnError() const;
    // Removes the entry; an error when it is not registered.
    std::optional<Error> unregisterAndReturnError() const;

    const std::optional<std::string>& identifier() const { return identifier_; }

private:
    explicit SMAppService(std::optional<std::string> identifier) : identifier_(std::move(identifier)) {}
    std::optional<std::string> identifier_;
};

} // namespace plat
