// Collaborators for the controller tests where the reply or the call itself is what is under test:
// a client that answers the region and plan requests with given replies (on the main queue, like
// the real one), and a tunnel helper that records what the controller asks of it.
#pragma once

#include "app/classes/VPNHelper.h"
#include "app/network/Client.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/net/URLSession.h"
#include "json/JSON.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace regiontest {

class CannedClient : public Client {
public:
    struct Reply {
        std::optional<plat::Error> error;
        std::optional<JSON> json;
    };
    CannedClient() : Client(plat::URLSession::shared()) {}

    static Reply json(const std::string& text) { return Reply{std::nullopt, JSON(plat::toData(text), 0)}; }

    std::deque<Reply> regionReplies;
    std::deque<Reply> planReplies;
    int regionRequests = 0;

    void userRegions(Completion completion) override {
        ++regionRequests;
        answer(regionReplies, std::move(completion));
    }
    void userCurrentPlan(Completion completion) override { answer(planReplies, std::move(completion)); }

private:
    static void answer(std::deque<Reply>& replies, Completion completion) {
        Reply reply =
            replies.empty() ? Reply{plat::Error("No reply armed", 0), std::nullopt} : replies.front();
        if (!replies.empty()) replies.pop_front();
        plat::mainQueue().async([reply, completion] { completion(reply.error, reply.json); });
    }
};

class RecordingHelper : public VPNHelper {
public:
    RecordingHelper(plat::NEVPNManager& manager, Client& client) : VPNHelper(manager, client) {}

    plat::NEVPNStatus status = plat::NEVPNStatus::disconnected;
    int connects = 0;
    int disconnects = 0;
    std::function<void()> onDisconnect;

    plat::NEVPNStatus currentStatus() override { return status; }
    void connectIPSecIKEv2() override { ++connects; }
    void disconnectVPN() override {
        ++disconnects;
        if (onDisconnect) onDisconnect();
    }
};

} // namespace regiontest
