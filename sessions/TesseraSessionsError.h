// Why a session start event was not sent, or was sent with a fault: every reason becomes one of these
// outcomes, which the component logs. Two cases carry the underlying error.
#pragma once

#include "platform/object/Error.h"

#include <optional>
#include <string>

class TesseraSessionsError {
public:
    enum class Kind {
        SessionInstallationsError,        // getting the installation id failed (carries the error)
        DataTransportError,               // handing the event to the transport failed (carries it)
        SessionSamplingError,             // this session is sampled out
        SessionInstallationsTimeOutError, // the installation id did not come in time
        DisabledViaSettingsError,         // the settings disable sessions
        DataCollectionError,              // no subscriber collects data
        NoDependenciesError,              // no subscriber was declared as expected
    };

    static TesseraSessionsError SessionInstallationsError(plat::Error error) {
        return TesseraSessionsError(Kind::SessionInstallationsError, std::move(error));
    }
    static TesseraSessionsError DataTransportError(plat::Error error) {
        return TesseraSessionsError(Kind::DataTransportError, std::move(error));
    }
    explicit TesseraSessionsError(Kind kind, std::optional<plat::Error> underlying = std::nullopt)
        : kind_(kind), underlying_(std::move(underlying)) {}

    Kind kind() const { return kind_; }
    const std::optional<plat::Error>& underlying() const { return underlying_; }

    // The case's name, with the underlying error's description when it carries one:
    // "SessionInstallationsError(<description>)".
    std::string description() const;
    // The underlying error's localized description, else a sentence naming the case.
    std::string localizedDescription() const;
    // This outcome as an error object of the domain "TesseraSessionsError", coded by the case's position.
    plat::Error asError() const;

    static const char* caseName(Kind kind);

    bool operator==(const TesseraSessionsError& other) const {
        return kind_ == other.kind_ && underlying_ == other.underlying_;
    }

private:
    Kind kind_;
    std::optional<plat::Error> underlying_;
};
