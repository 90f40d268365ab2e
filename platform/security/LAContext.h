// An authentication context that callers hand to keychain queries so several operations share one
// user authentication. This store never asks the user, so the context only carries its settings.
#pragma once

#include <string>

namespace plat {

struct LAContext {
    // The reason shown if the user were asked to authenticate.
    std::string localizedReason;
};

} // namespace plat
