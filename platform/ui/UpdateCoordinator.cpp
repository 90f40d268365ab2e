#include "platform/ui/UpdateCoordinator.h"

#include "platform/dispatch/DispatchQueue.h"

#include <algorithm>

namespace plat::ui {

UpdateCoordinator& UpdateCoordinator::shared() {
    static auto* coordinator = new UpdateCoordinator();
    return *coordinator;
}

void UpdateCoordinator::setNeedsUpdate() {
    if (!isMainThread()) {
        mainQueue().async([] { shared().setNeedsUpdate(); });
        return;
    }
    if (scheduled_) return;
    scheduled_ = true;
    mainQueue().async([] {
        auto& self = shared();
        self.scheduled_ = false;
        self.updateNow();
    });
}

bool UpdateCoordinator::updateNow() {
    if (updating_) return false;
    bool any = std::any_of(clients_.begin(), clients_.end(), [](Client* c) { return c->needsUpdate(); });
    if (!any) return false;
    updating_ = true;
    ++passes_;
    // A throwing observer or client must not leave every later pass refused.
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{updating_};
    willUpdate_.send();
    // A will-update observer may open or close windows: walk a snapshot and skip the removed.
    auto clients = clients_;
    for (Client* c : clients) {
        if (std::find(clients_.begin(), clients_.end(), c) == clients_.end()) continue;
        if (c->needsUpdate()) c->performUpdate();
    }
    updating_ = false;
    // Work that could not settle in this pass gets the next one.
    if (std::any_of(clients_.begin(), clients_.end(), [](Client* c) { return c->needsUpdate(); }))
        setNeedsUpdate();
    return true;
}

void UpdateCoordinator::add(Client* client) {
    if (std::find(clients_.begin(), clients_.end(), client) == clients_.end()) clients_.push_back(client);
}

void UpdateCoordinator::remove(Client* client) {
    std::erase(clients_, client);
}

} // namespace plat::ui
