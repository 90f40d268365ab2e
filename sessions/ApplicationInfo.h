// The application facts of a running process: the app id, the environment variables (for the run
// environment, "TesseraSessionsRunEnvironment") and the bundle's information dictionary (for the
// version texts), with the platform's facts about the device and the system. Immutable; any thread.
#pragma once

#include "sessions/ApplicationInfoProtocol.h"

#include "platform/object/Object.h"

#include <map>
#include <optional>

inline constexpr const char* kTSRSessionsRunEnvironmentVariable = "TesseraSessionsRunEnvironment";

class ApplicationInfo : public ApplicationInfoProtocol {
public:
    ApplicationInfo(std::string appID, std::shared_ptr<const NetworkInfoProtocol> networkInfo,
                    std::map<std::string, std::string> envParams, std::optional<plat::Object::Dict> infoDict);

    std::string appID() const override { return appID_; }
    std::string sdkVersion() const override;
    std::string osName() const override;
    std::string deviceModel() const override;
    std::shared_ptr<const NetworkInfoProtocol> networkInfo() const override { return networkInformation_; }
    // "prod", "staging" or "dev" from the environment variable, trimmed and in any case; prod for
    // anything else and when it is unset.
    DevEnvironment environment() const override;
    std::string appBuildVersion() const override;
    std::string appDisplayVersion() const override;
    std::string osBuildVersion() const override;
    std::string osDisplayVersion() const override;

private:
    std::string infoString(const char* key) const;

    std::string appID_;
    std::shared_ptr<const NetworkInfoProtocol> networkInformation_;
    std::map<std::string, std::string> envParams_;
    std::optional<plat::Object::Dict> infoDict_;
};
