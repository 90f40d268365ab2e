#include "crash/report/CRWLaunchMarkerModel.h"

#include "crash/record/CRWSharedLog.h"
#include "platform/foundation/OwnFiles.h"

#include <fcntl.h>
#include <unistd.h>

CRWLaunchMarkerModel::CRWLaunchMarkerModel(std::shared_ptr<CRWFileManager> fileManager)
    : fileManager_(std::move(fileManager)) {}

std::string CRWLaunchMarkerModel::launchFailureMarkerPath() const {
    return CRWPathByAppending(fileManager_->structurePath(), "launchmarker");
}

bool CRWLaunchMarkerModel::launchFailureMarkerPresent() const {
    return fileManager_->fileExistsAtPath(launchFailureMarkerPath());
}

bool CRWLaunchMarkerModel::createLaunchFailureMarker() const {
    // Private like everything under the data root; a marker that is not the user's own is left.
    plat::paths::FileProblem problem;
    plat::FileDescriptor descriptor =
        plat::paths::openOwnFile(launchFailureMarkerPath(), O_WRONLY | O_CREAT | O_TRUNC, &problem);
    if (!descriptor) {
        if (problem.refused) CRWErrorLog("%@; leaving it aside", problem.text);
        return false;
    }
    return ::close(descriptor.release()) == 0;
}

bool CRWLaunchMarkerModel::removeLaunchFailureMarker() const {
    return fileManager_->removeItemAtPath(launchFailureMarkerPath());
}

bool CRWLaunchMarkerModel::checkForAndCreateLaunchMarker() const {
    if (launchFailureMarkerPresent()) {
        CRWDebugLog(
            "[Crashwatch:Crash] Last launch failed: this may indicate a crash shortly after app launch.");
        return true;
    }
    createLaunchFailureMarker();
    return false;
}
