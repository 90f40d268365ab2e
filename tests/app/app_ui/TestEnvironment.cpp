// Points the REST client at a closed port on 127.0.0.1 before any test runs: the screens load
// regions and plans once shown, and no test may reach the production service.
#include "app/network/Client.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class LocalOnlyNetwork : public ::testing::Environment {
public:
    void SetUp() override {
        setenv("VELMORA_API_BASE", "http://127.0.0.1:9/api/", 1);
        Client::reloadServerPathForTesting();
    }
};

const auto* registered = ::testing::AddGlobalTestEnvironment(new LocalOnlyNetwork);

} // namespace
