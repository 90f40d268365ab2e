// Runs the update passes of all windows of the process. Anything that invalidates a view asks for a
// pass; one is scheduled on the main queue (once, however many ask) and runs after the block that
// asked. Input handlers run a pass at once after the event instead. Each pass first sends
// `willUpdate()`, then lets every window rebuild, run its lifecycle and lay out.
//
// Main thread only, except setNeedsUpdate(), which may be called anywhere. Created on first use,
// never destroyed.
#pragma once

#include "platform/foundation/Subject.h"

#include <cstddef>
#include <vector>

namespace plat::ui {

class UpdateCoordinator {
public:
    // A window (or any other tree) that takes part in update passes.
    class Client {
    public:
        virtual ~Client() = default;
        virtual bool needsUpdate() const = 0;
        virtual void performUpdate() = 0;
    };

    static UpdateCoordinator& shared();

    // Sent at the start of every pass, before any rebuild (the application's "will update").
    PassthroughSubject<void>& willUpdate() { return willUpdate_; }

    // Schedules a pass on the main queue unless one is already scheduled.
    void setNeedsUpdate();
    // Runs a pass now when a client needs one; returns whether it ran. A call during a pass does
    // nothing (the running pass picks up the new work).
    bool updateNow();
    bool isUpdating() const { return updating_; }
    // Passes run so far.
    std::size_t passCount() const { return passes_; }

    void add(Client* client);
    void remove(Client* client);

private:
    UpdateCoordinator() = default;
    PassthroughSubject<void> willUpdate_;
    std::vector<Client*> clients_;
    bool scheduled_ = false;
    bool updating_ = false;
    std::size_t passes_ = 0;
};

} // namespace plat::ui
