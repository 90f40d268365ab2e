// Test fixture: an in-process stand-in on an ephemeral port and a client for it.
#pragma once

#include "standin/StandinServer.h"
#include "tests/standin/StandinTestClient.h"

#include <gtest/gtest.h>

#include <memory>

namespace standintest {

class StandinServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        port = server.start();
        client = std::make_unique<StandinTestClient>(port);
    }

    std::string demoToken() {
        return client->signIn(standin::StandinServer::demoEmail(), standin::StandinServer::demoPassword());
    }

    standin::StandinServer server;
    int port = 0;
    std::unique_ptr<StandinTestClient> client;
};

} // namespace standintest
