// Appends rollout-assignment records to a report folder ("rollouts.crwrecord", one line per call).
// It exists only when a remote-configuration component is present, which this program never
// registers; the rollouts manager writes through the CRWPersistenceLog interface.
#pragma once

#include "crash/report/CRWFileManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/object/Object.h"

#include <memory>
#include <optional>
#include <string>

// Where rollout assignments are persisted.
class CRWPersistenceLog {
public:
    virtual ~CRWPersistenceLog() = default;
    // Appends `rollouts` and a line feed to the report's rollouts file, asynchronously.
    virtual void updateRolloutsStateToPersistenceWithRollouts(const plat::Data& rollouts,
                                                              const std::string& reportID) = 0;
    // A debug line in the crash reporter's log.
    virtual void debugLogWithMessage(const std::string& message) = 0;
};

class CRWRolloutsPersistenceManager : public CRWPersistenceLog {
public:
    // A manager whose records are appended one at a time on `queue`; none (logged) without one.
    static std::shared_ptr<CRWRolloutsPersistenceManager>
    initWithFileManager(std::shared_ptr<CRWFileManager> fileManager,
                        std::optional<plat::DispatchQueue> queue);
    // Without a queue nothing is written (logged at each update).
    CRWRolloutsPersistenceManager(std::shared_ptr<CRWFileManager> fileManager,
                                  std::optional<plat::DispatchQueue> rolloutsLoggingQueue);

    void updateRolloutsStateToPersistenceWithRollouts(const plat::Data& rollouts,
                                                      const std::string& reportID) override;
    void debugLogWithMessage(const std::string& message) override;

private:
    std::shared_ptr<CRWFileManager> fileManager_;
    std::optional<plat::DispatchQueue> rolloutsLoggingQueue_;
};
