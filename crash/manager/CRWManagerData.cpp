#include "crash/manager/CRWManagerData.h"

#include "crash/manager/CRWAnalyticsManager.h"
#include "crash/manager/CRWContextManager.h"
#include "crash/record/CRWApplication.h"

CRWManagerData::CRWManagerData(std::string tesseraAppID, std::shared_ptr<TTRTransport> tesseraTransport,
                               std::shared_ptr<TSRInstallations> installations,
                               std::shared_ptr<CRWFileManager> fileManager,
                               CRWCollectionEnabledQuery collectionEnabled,
                               std::shared_ptr<CRWSettings> settings,
                               std::shared_ptr<CRWOnDemandModel> onDemandModel,
                               std::shared_ptr<CRWApplicationIdentifierModel> appIDModel,
                               std::shared_ptr<TSRAnalyticsInterop> analytics)
    : tesseraAppID_(std::move(tesseraAppID)), tesseraTransport_(std::move(tesseraTransport)),
      installations_(std::move(installations)), analytics_(std::move(analytics)),
      fileManager_(std::move(fileManager)), collectionEnabled_(std::move(collectionEnabled)),
      settings_(std::move(settings)), onDemandModel_(std::move(onDemandModel)),
      appIDModel_(std::move(appIDModel)),
      installIDModel_(std::make_shared<CRWInstallIdentifierModel>(installations_)),
      executionIDModel_(std::make_shared<CRWExecutionIdentifierModel>()),
      contextManager_(std::make_shared<CRWContextManager>()),
      operationQueue_(CRWApplicationGetSDKBundleID() + ".work-queue"),
      dispatchQueue_(plat::DispatchQueue::serial("com.tessera.crashwatch.startup")) {
    operationQueue_.setMaxConcurrentOperationCount(1);
}
