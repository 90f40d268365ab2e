#include "crash/report/CRWProcessReportOperation.h"

#include "crash/capture/CRWException.h"
#include "crash/record/CRWContext.h"
#include "crash/record/CRWFile.h"
#include "crash/record/CRWFileRead.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/report/CRWFileManager.h"

#include <algorithm>

namespace {

constexpr const char* kSymbolicatedExtension = ".symbolicated";

bool isRecordFile(const std::string& path) {
    std::string extension = CRWPathExtension(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "crwrecord";
}

} // namespace

CRWProcessReportOperation::CRWProcessReportOperation(std::shared_ptr<CRWInternalReport> report,
                                                     std::shared_ptr<CRWSymbolResolver> resolver)
    : report_(std::move(report)), symbolResolver_(std::move(resolver)) {}

std::string CRWProcessReportOperation::binaryImagePath() const {
    return report_ ? report_->binaryImagePath() : std::string();
}

void CRWProcessReportOperation::main() {
    symbolicatedFiles_.clear();
    unreadableRecords_.clear();
    if (!report_ || !symbolResolver_) return;
    if (symbolResolver_->loadBinaryImagesFromFile(binaryImagePath())) {
        report_->enumerateSymbolicatableFilesInContent([this](const std::string& path) {
            if (isCancelled()) return;
            if (symbolicateFile(path, symbolResolver_.get()))
                symbolicatedFiles_.push_back(CRWLastPathComponent(path));
        });
    }
    if (!isCancelled() && demangleExceptionNames() &&
        std::find(symbolicatedFiles_.begin(), symbolicatedFiles_.end(), CRWReportExceptionFile) ==
            symbolicatedFiles_.end())
        symbolicatedFiles_.push_back(CRWReportExceptionFile);
    noteUnreadableRecords();
    if (!unreadableRecords_.empty()) writeMarks();
}

std::shared_ptr<CRWThreadArray> CRWProcessReportOperation::threadArrayFromFile(const std::string& path) {
    const CRWRecordFileContents contents = CRWReadRecordFile(path);
    const plat::Object& threads = CRWRecordSectionNamed(contents.sections, "threads");
    if (!threads.isArray()) return nullptr;
    auto array = std::make_shared<CRWThreadArray>();
    array->reserve(threads.array().size());
    for (const plat::Object& thread : threads.array()) {
        std::vector<TSRStackFrame>& frames = array->emplace_back();
        const plat::Object& stacktrace = thread["stacktrace"];
        if (!stacktrace.isArray()) continue;
        frames.reserve(stacktrace.array().size());
        for (const plat::Object& address : stacktrace.array()) {
            const plat::Number* number = address.asNumber();
            frames.push_back(TSRStackFrame::stackFrameWithAddress(
                number && !number->isBool() ? number->uint64Value() : 0));
        }
    }
    return array;
}

bool CRWProcessReportOperation::symbolicateFile(const std::string& path, CRWSymbolResolver* resolver) {
    std::shared_ptr<CRWThreadArray> threads = threadArrayFromFile(path);
    if (!threads) return false;
    CRWSymbolicationOperation symbolication(threads, resolver);
    CRWDemangleOperation demangling(threads);
    CRWSerializeSymbolicatedFramesOperation serialization(threads, path + kSymbolicatedExtension);
    for (CRWOperation* step :
         std::initializer_list<CRWOperation*>{&symbolication, &demangling, &serialization}) {
        if (isCancelled()) step->cancel();
        step->start();
    }
    return serialization.wroteFile();
}

bool CRWProcessReportOperation::demangleExceptionNames() {
    const std::string path = report_->pathForContentFile(CRWReportExceptionFile);
    std::vector<std::pair<std::string, std::string>> names; // mangled, demangled
    for (const plat::Object& section : CRWReadRecordFile(path).sections) {
        const plat::Object& exception = section["exception"];
        const plat::Number* mangledFlag = exception[CRWExceptionNameMangledKey].asNumber();
        const std::string* hex = exception["name"].asString();
        if (!mangledFlag || !mangledFlag->isBool() || !mangledFlag->boolValue() || !hex) continue;
        std::optional<std::string> mangled = CRWFileHexDecodeString(*hex);
        if (!mangled) continue;
        if (std::optional<std::string> demangled = CRWDemangleOperation::demangleCppSymbol(mangled->c_str()))
            names.emplace_back(std::move(*mangled), std::move(*demangled));
    }
    if (names.empty()) return false;
    CRWFile file;
    const std::string output = path + kSymbolicatedExtension;
    if (!CRWFileInitWithPathMode(&file, output.c_str(), true, true)) {
        CRWErrorLog("Failed to create output file");
        return false;
    }
    for (const auto& [mangled, demangled] : names) {
        CRWFileWriteSectionStart(&file, "exception");
        CRWFileWriteHashStart(&file);
        CRWFileWriteHashEntryHexEncodedString(&file, "name", demangled.c_str());
        CRWFileWriteHashEntryHexEncodedString(&file, "mangled_name", mangled.c_str());
        CRWFileWriteHashEnd(&file);
        CRWFileWriteSectionEnd(&file);
    }
    CRWFileClose(&file);
    return true;
}

void CRWProcessReportOperation::noteUnreadableRecords() {
    // The image list is expected in every report; without it nothing could be symbolicated.
    const CRWRecordFileContents& images = symbolResolver_->binaryImageContents();
    if (!images.whole())
        unreadableRecords_.push_back(
            {CRWReportBinaryImageFile, images.state, images.damagedLines, images.unfinished});
    CRWFileManager files;
    for (const std::string& path : files.contentsOfDirectory(report_->path())) {
        const std::string name = CRWLastPathComponent(path);
        if (!isRecordFile(path) || name == CRWReportBinaryImageFile) continue;
        const CRWRecordFileContents contents = CRWReadRecordFile(path);
        if (!contents.whole())
            unreadableRecords_.push_back({name, contents.state, contents.damagedLines, contents.unfinished});
    }
    std::sort(
        unreadableRecords_.begin(), unreadableRecords_.end(),
        [](const CRWUnreadableRecord& a, const CRWUnreadableRecord& b) { return a.fileName < b.fileName; });
    for (const CRWUnreadableRecord& record : unreadableRecords_)
        CRWErrorLog("Report %@: could not read %@ whole (%@, %@ damaged lines%@)", report_->identifier(),
                    record.fileName, CRWRecordFileStateName(record.state),
                    static_cast<uint64_t>(record.damagedLines), record.unfinished ? ", unfinished" : "");
}

void CRWProcessReportOperation::writeMarks() const {
    CRWFile file;
    const std::string path = report_->pathForContentFile(CRWUnreadableRecordsFile);
    if (!CRWFileInitWithPathMode(&file, path.c_str(), false, true)) {
        CRWErrorLog("Failed to create output file");
        return;
    }
    for (const CRWUnreadableRecord& record : unreadableRecords_) {
        CRWFileWriteSectionStart(&file, "unreadable");
        CRWFileWriteHashStart(&file);
        CRWFileWriteHashEntryNSString(&file, "file", record.fileName);
        CRWFileWriteHashEntryString(&file, "state", CRWRecordFileStateName(record.state));
        CRWFileWriteHashEntryUint64(&file, "damaged_lines", record.damagedLines);
        if (record.unfinished) CRWFileWriteHashEntryBoolean(&file, "unfinished", true);
        CRWFileWriteHashEnd(&file);
        CRWFileWriteSectionEnd(&file);
    }
    CRWFileClose(&file);
}
