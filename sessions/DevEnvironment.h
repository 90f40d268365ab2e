// The run environment a session event reports. The order of the cases matters: the event's log
// environment is computed from the position (prod first).
#pragma once

#include <string>

enum class DevEnvironment { prod = 0, staging = 1, dev = 2 };

inline std::string DevEnvironmentText(DevEnvironment environment) {
    switch (environment) {
    case DevEnvironment::staging:
        return "staging";
    case DevEnvironment::dev:
        return "dev";
    case DevEnvironment::prod:
        break;
    }
    return "prod";
}
