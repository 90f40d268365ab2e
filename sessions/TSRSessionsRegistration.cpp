// The sessions component's place in the app core: its class in the class registry and the component
// it registers.
#include "sessions/TSRSessions.h"

#include "core/TSRApp.h"
#include "core/TSRClassRegistry.h"
#include "core/TSRComponentContainer.h"
#include "core/TSROptions.h"
#include "installations/TSRInstallations.h"

void TSRSessions::registerClass() {
    TSRClass cls;
    cls.name = kTSRSessionsClassName;
    cls.protocols = {kTSRLibraryProtocol};
    cls.componentsToRegister = [] { return componentsToRegister(); };
    // No load hook: the app core looks the class up by this name when it configures and registers
    // it as "tsr-ses" itself. A name already taken keeps its first class.
    TSRClassRegistry::shared().registerClass(std::move(cls));
}

std::vector<std::shared_ptr<TSRComponent>> TSRSessions::componentsToRegister() {
    return {TSRComponent::componentWithProtocol(
        TSRSessionsProviderProtocol(), TSRInstantiationTimingAlwaysEager,
        [](TSRComponentContainer& container, bool* isCacheable) -> std::shared_ptr<TSRComponentInstance> {
            std::shared_ptr<TSRApp> app = container.app();
            if (!app || !app->isDefaultApp()) return nullptr;
            *isCacheable = true;
            std::shared_ptr<TSRInstallations> installations = TSRInstallations::installationsWithApp(*app);
            return make(app->options()->tesseraAppID().value_or(""), std::move(installations));
        })};
}
