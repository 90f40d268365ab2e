#include "crash/report/CRWRolloutsPersistenceManager.h"

#include "crash/record/CRWFile.h"
#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/OwnFiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

CRWRolloutsPersistenceManager::CRWRolloutsPersistenceManager(
    std::shared_ptr<CRWFileManager> fileManager, std::optional<plat::DispatchQueue> rolloutsLoggingQueue)
    : fileManager_(std::move(fileManager)), rolloutsLoggingQueue_(std::move(rolloutsLoggingQueue)) {}

std::shared_ptr<CRWRolloutsPersistenceManager>
CRWRolloutsPersistenceManager::initWithFileManager(std::shared_ptr<CRWFileManager> fileManager,
                                                   std::optional<plat::DispatchQueue> queue) {
    if (!queue) {
        CRWDebugLog("Failed to initialize CRWRolloutsPersistenceManager, logging queue is nil");
        return nullptr;
    }
    return std::make_shared<CRWRolloutsPersistenceManager>(std::move(fileManager), std::move(queue));
}

void CRWRolloutsPersistenceManager::debugLogWithMessage(const std::string& message) {
    CRWDebugLog("%@", message);
}

void CRWRolloutsPersistenceManager::updateRolloutsStateToPersistenceWithRollouts(
    const plat::Data& rollouts, const std::string& reportID) {
    const std::string path =
        CRWPathByAppending(CRWPathByAppending(fileManager_->activePath(), reportID), "rollouts.crwrecord");
    // Created private, like everything under the data root; appended to from then on. A file or
    // folder on the way that is not the user's own is left as it is.
    plat::paths::FileProblem problem;
    const int descriptor = plat::paths::openOwnFile(path, O_WRONLY | O_APPEND | O_CREAT, &problem).release();
    if (descriptor < 0) {
        if (problem.refused) {
            CRWDebugLog("Could not create rollouts.crwrecord file: %@", problem.text);
            return;
        }
        CRWDebugLog("Could not create rollouts.crwrecord file. Error was code: %d - message: %s", problem.error,
                    std::strerror(problem.error));
        return;
    }
    if (!rolloutsLoggingQueue_) {
        CRWDebugLog("Rollouts logging queue is dealloccated");
        ::close(descriptor);
        return;
    }
    rolloutsLoggingQueue_->async([descriptor, rollouts] {
        plat::Data line = rollouts;
        line.push_back('\n');
        if (!CRWFileWriteWithRetries(descriptor, line.data(), line.size()))
            CRWDebugLog("Failed to write new rollouts. Exception name: %s - message: %s", "write",
                        std::strerror(errno));
        ::close(descriptor);
    });
}
