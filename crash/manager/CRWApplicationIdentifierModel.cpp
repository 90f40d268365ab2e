#include "crash/manager/CRWApplicationIdentifierModel.h"

#include "crash/image/CRWElfImage.h"
#include "crash/record/CRWApplication.h"
#include "crash/record/CRWEncoding.h"
#include "platform/dyld/Dyld.h"

#include <sys/utsname.h>

namespace {

std::string formatVersion(const CRWSDKVersionTriple& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.patch);
}

} // namespace

std::shared_ptr<CRWApplicationIdentifierModel> CRWApplicationIdentifierModel::create() {
    plat::dyld::sync();
    std::vector<plat::dyld::Image> images = plat::dyld::images();
    if (images.empty()) return nullptr;
    CRWElfImageDetails details{};
    if (!CRWElfImageReadDetails(images.front().header, images.front().slide, &details) ||
        details.buildIDLength == 0)
        return nullptr;
    char buildID[65];
    CRWElfImageBuildIDString(&details, buildID, sizeof buildID);
    struct utsname names {};
    std::string architecture = uname(&names) == 0 ? names.machine : "unknown";
    return std::make_shared<CRWApplicationIdentifierModel>(
        std::map<std::string, std::string>{{architecture, std::string(buildID)}});
}

CRWApplicationIdentifierModel::CRWApplicationIdentifierModel(
    std::map<std::string, std::string> architectureUUIDMap)
    : architectureUUIDMap_(std::move(architectureUUIDMap)) {
    // The map is ordered by architecture name, which is the order the hash is defined over.
    std::string joined;
    for (const auto& entry : architectureUUIDMap_)
        joined += entry.second;
    buildInstanceID_ = CRWHashNSData(plat::toData(joined));
}

std::string CRWApplicationIdentifierModel::bundleID() const {
    return CRWApplicationGetBundleIdentifier();
}

std::string CRWApplicationIdentifierModel::displayName() const {
    return CRWApplicationGetName();
}

std::string CRWApplicationIdentifierModel::platform() const {
    return CRWApplicationGetPlatform();
}

std::string CRWApplicationIdentifierModel::buildVersion() const {
    return CRWApplicationGetBundleVersion();
}

std::string CRWApplicationIdentifierModel::displayVersion() const {
    return CRWApplicationGetShortBundleVersion();
}

std::string CRWApplicationIdentifierModel::synthesizedVersion() const {
    return displayVersion() + " (" + buildVersion() + ")";
}

int CRWApplicationIdentifierModel::installSource() const {
    return CRWApplicationInstallationSource();
}

std::string CRWApplicationIdentifierModel::builtSDKString() const {
    return formatVersion(builtSDK_);
}

std::string CRWApplicationIdentifierModel::minimumSDKString() const {
    return formatVersion(minimumSDK_);
}
