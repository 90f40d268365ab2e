// What the session code knows about the application, the device and the run environment: read by
// the session start event, the settings download (as request headers) and the component (the app
// id). Every property is computed at each read from values fixed at construction, so it may be
// read on any thread.
#pragma once

#include "sessions/DevEnvironment.h"
#include "sessions/NetworkInfo.h"

#include <memory>
#include <string>

class ApplicationInfoProtocol {
public:
    virtual ~ApplicationInfoProtocol() = default;
    virtual std::string appID() const = 0;
    virtual std::string sdkVersion() const = 0;
    virtual std::string osName() const = 0;
    // The hardware model; empty when the machine reports none.
    virtual std::string deviceModel() const = 0;
    virtual std::shared_ptr<const NetworkInfoProtocol> networkInfo() const = 0;
    virtual DevEnvironment environment() const = 0;
    // The bundle's version texts; empty when missing or not text.
    virtual std::string appBuildVersion() const = 0;
    virtual std::string appDisplayVersion() const = 0;
    // The kernel's build description; empty when none.
    virtual std::string osBuildVersion() const = 0;
    // "major.minor", with ".patch" when the patch is not 0.
    virtual std::string osDisplayVersion() const = 0;
};
