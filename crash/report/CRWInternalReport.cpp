#include "crash/report/CRWInternalReport.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/report/CRWFileManager.h"
#include "platform/foundation/OwnFiles.h"

namespace {

constexpr const char* kMetricKitFatalFile = "metric_kit_fatal.crwrecord";
constexpr const char* kMetricKitNonfatalFile = "metric_kit_nonfatal.crwrecord";
constexpr const char* kCustomFatalFile = "custom_fatal.crwrecord";

bool exists(const std::string& path) {
    return plat::paths::entryStatus(path).has_value();
}

std::optional<plat::Date> secondsSince1970(const plat::Object& value) {
    const plat::Number* number = value.asNumber();
    if (!number || number->isBool()) return std::nullopt;
    return plat::Date{static_cast<double>(number->uint64Value())};
}

} // namespace

std::shared_ptr<CRWInternalReport> CRWInternalReport::reportWithPath(const std::string& path) {
    const CRWRecordFileContents metadata = CRWReadRecordFile(CRWPathByAppending(path, CRWReportMetadataFile));
    const plat::Object& identifier = CRWRecordSectionNamed(metadata.sections, "identity")["session_id"];
    if (!identifier.isString() || identifier.string().empty()) {
        CRWErrorLog("Unable to read identifier at path %@", path);
        return nullptr;
    }
    auto report = initWithPath(path, identifier.string());
    if (report) report->metadata_ = metadata;
    return report;
}

std::shared_ptr<CRWInternalReport> CRWInternalReport::initWithPath(const std::string& path,
                                                                   const std::string& executionIdentifier) {
    if (path.empty() || executionIdentifier.empty()) return nullptr;
    return std::make_shared<CRWInternalReport>(path, executionIdentifier);
}

CRWInternalReport::CRWInternalReport(std::string path, std::string identifier)
    : identifier_(std::move(identifier)), path_(std::move(path)) {}

std::string CRWInternalReport::directoryName() const {
    return CRWLastPathComponent(path_);
}
std::string CRWInternalReport::pathForContentFile(const std::string& name) const {
    return CRWPathByAppending(path_, name);
}
std::string CRWInternalReport::metadataPath() const {
    return pathForContentFile(CRWReportMetadataFile);
}
std::string CRWInternalReport::binaryImagePath() const {
    return pathForContentFile(CRWReportBinaryImageFile);
}

const std::vector<std::string>& CRWInternalReport::crashFileNames() {
    static const auto& names =
        *new std::vector<std::string>{CRWReportExceptionFile, CRWReportMachExceptionFile, CRWReportSignalFile,
                                      kMetricKitFatalFile, kCustomFatalFile};
    return names;
}

const std::vector<std::string>& CRWInternalReport::eventFileNames() {
    static const auto& names = *new std::vector<std::string>{
        CRWReportExceptionFile,        CRWReportSignalFile, CRWReportCustomExceptionAFile,
        CRWReportCustomExceptionBFile, kMetricKitFatalFile, kMetricKitNonfatalFile,
        CRWReportMachExceptionFile,    CRWReportErrorAFile, CRWReportErrorBFile};
    return names;
}

bool CRWInternalReport::checkExistenceOfAtLeastOneFileInArray(const std::vector<std::string>& names) const {
    for (const std::string& name : names)
        if (exists(pathForContentFile(name))) return true;
    return false;
}

bool CRWInternalReport::hasAnyEvents() const {
    return checkExistenceOfAtLeastOneFileInArray(eventFileNames());
}

bool CRWInternalReport::isCrash() const {
    return checkExistenceOfAtLeastOneFileInArray(crashFileNames());
}

void CRWInternalReport::enumerateSymbolicatableFilesInContent(
    const std::function<void(const std::string& path)>& block) const {
    for (const std::string& name : crashFileNames())
        block(pathForContentFile(name));
}

std::optional<plat::Object::Array> CRWInternalReport::readCRWFileAtPath(const std::string& path) {
    CRWRecordFileContents contents = CRWReadRecordFile(path);
    if (contents.sections.empty()) return std::nullopt;
    return std::move(contents.sections);
}

const CRWRecordFileContents& CRWInternalReport::metadataContents() const {
    if (!metadata_) metadata_ = CRWReadRecordFile(metadataPath());
    return *metadata_;
}

const plat::Object::Array& CRWInternalReport::metadataSections() const {
    return metadataContents().sections;
}

std::optional<std::string> CRWInternalReport::metadataString(const char* section, const char* key) const {
    const plat::Object& value = CRWRecordSectionNamed(metadataSections(), section)[key];
    if (!value.isString()) return std::nullopt;
    return value.string();
}

std::optional<std::string> CRWInternalReport::orgID() const {
    return metadataString("identity", "org_id");
}
std::optional<std::string> CRWInternalReport::OSVersion() const {
    return metadataString("host", "os_display_version");
}
std::optional<std::string> CRWInternalReport::OSBuildVersion() const {
    return metadataString("host", "os_build_version");
}
std::optional<std::string> CRWInternalReport::bundleVersion() const {
    return metadataString("application", "build_version");
}
std::optional<std::string> CRWInternalReport::bundleShortVersionString() const {
    return metadataString("application", "display_version");
}

plat::Date CRWInternalReport::dateCreated() const {
    return secondsSince1970(CRWRecordSectionNamed(metadataSections(), "identity")["started_at"])
        .value_or(plat::Date{0});
}

std::optional<plat::Date> CRWInternalReport::timeFromCrashContentFile(const std::string& name,
                                                                      const std::string& sectionName) const {
    const CRWRecordFileContents contents = CRWReadRecordFile(pathForContentFile(name));
    return secondsSince1970(CRWRecordSectionNamed(contents.sections, sectionName)["time"]);
}

std::optional<plat::Date> CRWInternalReport::crashedOnDate() const {
    if (!isCrash()) return std::nullopt;
    if (auto time = timeFromCrashContentFile(CRWReportMachExceptionFile, "mach_exception")) return time;
    return timeFromCrashContentFile(CRWReportSignalFile, "signal");
}
