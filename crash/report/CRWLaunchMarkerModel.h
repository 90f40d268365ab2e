// The marker file that tells the next launch that this one did not get through its start-up: made
// at start-up, removed on the first main-queue turn after the crash context is set up. Found at
// the next start-up, it sends that launch's reports while the caller waits.
#pragma once

#include "crash/report/CRWFileManager.h"

#include <memory>
#include <string>

class CRWLaunchMarkerModel {
public:
    explicit CRWLaunchMarkerModel(std::shared_ptr<CRWFileManager> fileManager);

    // structurePath/"launchmarker".
    std::string launchFailureMarkerPath() const;
    bool launchFailureMarkerPresent() const;
    // Creates (or truncates) the empty marker; true when it was opened and closed.
    bool createLaunchFailureMarker() const;
    // Removes it through the file manager (which logs when it is absent).
    bool removeLaunchFailureMarker() const;
    // True (the marker left in place, the failure logged) when the previous launch left it;
    // otherwise creates it and answers false.
    bool checkForAndCreateLaunchMarker() const;

    const std::shared_ptr<CRWFileManager>& fileManager() const { return fileManager_; }

private:
    std::shared_ptr<CRWFileManager> fileManager_;
};
