// What the crash reporter's services share: the app id, the crash-report transport, the
// installations component, the analytics component (none in this program), the folders, the collection
// decision, the settings, the on-demand model, the identifiers of this build, installation and run, and the
// one-at-a-time work queue on which every report deletion, processing and upload runs. Made once by the
// component.
#pragma once

#include "crash/manager/CRWApplicationIdentifierModel.h"
#include "crash/manager/CRWOnDemandModel.h"
#include "crash/manager/CRWSettings.h"
#include "crash/record/CRWExecutionIdentifierModel.h"
#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWInstallIdentifierModel.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/OperationQueue.h"

#include <functional>
#include <memory>
#include <string>

class CRWContextManager;
class TSRAnalyticsInterop;
class TSRInstallations;
class TTRTransport;

// Whether crash data may be collected now (the data-collection arbiter answers it).
using CRWCollectionEnabledQuery = std::function<bool()>;

class CRWManagerData {
public:
    CRWManagerData(std::string tesseraAppID, std::shared_ptr<TTRTransport> tesseraTransport,
                   std::shared_ptr<TSRInstallations> installations,
                   std::shared_ptr<CRWFileManager> fileManager, CRWCollectionEnabledQuery collectionEnabled,
                   std::shared_ptr<CRWSettings> settings, std::shared_ptr<CRWOnDemandModel> onDemandModel,
                   std::shared_ptr<CRWApplicationIdentifierModel> appIDModel,
                   std::shared_ptr<TSRAnalyticsInterop> analytics = nullptr);

    const std::string& tesseraAppID() const { return tesseraAppID_; }
    const std::shared_ptr<TTRTransport>& tesseraTransport() const { return tesseraTransport_; }
    const std::shared_ptr<TSRInstallations>& installations() const { return installations_; }
    // The analytics component told of each packaged crash; usually none.
    const std::shared_ptr<TSRAnalyticsInterop>& analytics() const { return analytics_; }
    const std::shared_ptr<CRWFileManager>& fileManager() const { return fileManager_; }
    const CRWCollectionEnabledQuery& collectionEnabled() const { return collectionEnabled_; }
    const std::shared_ptr<CRWSettings>& settings() const { return settings_; }
    const std::shared_ptr<CRWOnDemandModel>& onDemandModel() const { return onDemandModel_; }
    // None when the executable's identifier could not be read (start-up then fails).
    const std::shared_ptr<CRWApplicationIdentifierModel>& appIDModel() const { return appIDModel_; }
    const std::shared_ptr<CRWInstallIdentifierModel>& installIDModel() const { return installIDModel_; }
    const std::shared_ptr<CRWExecutionIdentifierModel>& executionIDModel() const { return executionIDModel_; }
    const std::shared_ptr<CRWContextManager>& contextManager() const { return contextManager_; }
    // The work queue (one operation at a time) and the serial queue for on-demand uploads and the
    // start-up continuations.
    plat::OperationQueue operationQueue() const { return operationQueue_; }
    const plat::DispatchQueue& dispatchQueue() const { return dispatchQueue_; }

private:
    std::string tesseraAppID_;
    std::shared_ptr<TTRTransport> tesseraTransport_;
    std::shared_ptr<TSRInstallations> installations_;
    std::shared_ptr<TSRAnalyticsInterop> analytics_;
    std::shared_ptr<CRWFileManager> fileManager_;
    CRWCollectionEnabledQuery collectionEnabled_;
    std::shared_ptr<CRWSettings> settings_;
    std::shared_ptr<CRWOnDemandModel> onDemandModel_;
    std::shared_ptr<CRWApplicationIdentifierModel> appIDModel_;
    std::shared_ptr<CRWInstallIdentifierModel> installIDModel_;
    std::shared_ptr<CRWExecutionIdentifierModel> executionIDModel_;
    std::shared_ptr<CRWContextManager> contextManager_;
    plat::OperationQueue operationQueue_;
    plat::DispatchQueue dispatchQueue_;
};
