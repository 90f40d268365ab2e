// The crash reporter's settings document as the service sends it: parsed and read through every
// getter, which must answer a value (or its default) for whatever the document holds.
#include "crash/manager/CRWSettings.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CRWSettings settings("/nonexistent/settings",
                                std::make_shared<CRWApplicationIdentifierModel>(
                                    std::map<std::string, std::string>{{"x86_64", "00"}}));
    if (!settings.loadSettingsData(std::string_view(reinterpret_cast<const char*>(data), size))) return 0;
    volatile double sink = settings.cacheDurationSeconds() + settings.logBufferSize() + settings.maxCustomExceptions() +
                           settings.maxCustomKeys() + settings.onDemandUploadRate() + settings.onDemandBackoffBase() +
                           settings.onDemandBackoffStepDuration() + settings.collectReportsEnabled() +
                           settings.errorReportingEnabled() + settings.metricKitCollectionEnabled();
    (void)sink;
    (void)settings.appSettings();
    (void)settings.legacySettings();
    return 0;
}
