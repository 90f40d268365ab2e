#include "crash/report/CRWLaunchMarkerModel.h"

#include "crash/record/CRWSharedLog.h"

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
    // Private like everything under the data root.
    const int descriptor =
        ::open(launchFailureMarkerPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) return false;
    return ::close(descriptor) == 0;
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
