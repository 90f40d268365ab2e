#include "crash/report/CRWReportAdapter.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWSharedLog.h"
#include "crash/report/CRWFileManager.h"
#include "crash/report/CRWInstallIdentifierModel.h"
#include "crash/report/CRWRecordFileReader.h"
#include "platform/foundation/AtomicFile.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/OwnFiles.h"

#include <pb_encode.h>

#include <algorithm>
#include <filesystem>
#include <string_view>

namespace fs = std::filesystem;

namespace {

std::string lowercased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Writes the string the callback's argument points at: always, even when empty, so every text field
// is on the wire.
bool encodeText(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* text = static_cast<const std::string*>(*arg);
    return pb_encode_tag_for_field(stream, field) &&
           pb_encode_string(stream, reinterpret_cast<const pb_byte_t*>(text->data()), text->size());
}

bool encodeBytes(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* bytes = static_cast<const plat::Data*>(*arg);
    return pb_encode_tag_for_field(stream, field) && pb_encode_string(stream, bytes->data(), bytes->size());
}

void bindText(pb_callback_t& callback, const std::string& text) {
    callback.funcs.encode = encodeText;
    callback.arg = const_cast<std::string*>(&text);
}

// The files, one submessage each, in order.
bool encodeFiles(pb_ostream_t* stream, const pb_field_t* field, void* const* arg) {
    const auto* files = static_cast<const std::vector<CRWReportAdapter::File>*>(*arg);
    for (const CRWReportAdapter::File& file : *files) {
        tessera_crashwatch_FilesPayload_File message = tessera_crashwatch_FilesPayload_File_init_zero;
        bindText(message.filename, file.filename);
        message.contents.funcs.encode = encodeBytes;
        message.contents.arg = const_cast<plat::Data*>(&file.contents);
        message.truncated = file.truncated;
        if (!pb_encode_tag_for_field(stream, field)) return false;
        if (!pb_encode_submessage(stream, tessera_crashwatch_FilesPayload_File_fields, &message))
            return false;
    }
    return true;
}

const char* errorText(const pb_ostream_t& stream) {
    return stream.errmsg ? stream.errmsg : "(none)";
}

} // namespace

std::string CRWEncodeString(const plat::Object& value) {
    if (value.isString()) return value.string();
    if (value.isAbsent()) return "";
    if (value.isNull()) {
        CRWErrorLog("Expected encodable string, but found NSNull instead. Set a symbolic breakpoint at "
                    "CRWEncodeString to debug.");
        return "";
    }
    CRWErrorLog("Expected encodable string, but found %@ instead", plat::Object::kindName(value.kind()));
    return "";
}

CRWReportAdapter::CRWReportAdapter(std::string folderPath, std::string tesseraAppID,
                                   std::shared_ptr<CRWInstallIdentifierModel> installIDModel,
                                   std::optional<std::string> tiid, std::optional<std::string> authToken)
    : folderPath_(std::move(folderPath)), tesseraAppID_(std::move(tesseraAppID)),
      installIDModel_(std::move(installIDModel)), tiid_(std::move(tiid)), authToken_(std::move(authToken)) {
    loadMetaDataFile();
    protoReport();
}

void CRWReportAdapter::loadMetaDataFile() {
    const plat::Object::Dict sections =
        combinedDictionariesFromFilePath(CRWPathByAppending(folderPath_, CRWReportMetadataFile));
    auto sectionNamed = [&sections](const char* name) {
        auto found = sections.find(name);
        return found == sections.end() ? plat::Object() : found->second;
    };
    identity_ = CRWRecordIdentity(sectionNamed("identity"));
    host_ = CRWRecordHost(sectionNamed("host"));
    application_ = CRWRecordApplication(sectionNamed("application"));
}

void CRWReportAdapter::protoReport() {
    texts_.sdkVersion = CRWEncodeString(identity_.build_version);
    texts_.tsrAppID = tesseraAppID_;
    report_.platform = protoPlatformFromString(host_.platform);
    texts_.installationUUID = installIDModel_ ? installIDModel_->installID() : std::string();
    texts_.buildVersion = CRWEncodeString(application_.build_version);
    texts_.displayVersion = CRWEncodeString(application_.display_version);
    texts_.tesseraInstallationID = tiid_.value_or("");
    texts_.appHealthSessionID = CRWEncodeString(identity_.app_health_session_id);
    texts_.tesseraAuthenticationToken = authToken_.value_or("");
    bindText(report_.sdk_version, texts_.sdkVersion);
    bindText(report_.tsr_app_id, texts_.tsrAppID);
    bindText(report_.installation_uuid, texts_.installationUUID);
    bindText(report_.build_version, texts_.buildVersion);
    bindText(report_.display_version, texts_.displayVersion);
    bindText(report_.tessera_installation_id, texts_.tesseraInstallationID);
    bindText(report_.app_health_session_id, texts_.appHealthSessionID);
    bindText(report_.tessera_authentication_token, texts_.tesseraAuthenticationToken);
    protoFilesPayload();
}

void CRWReportAdapter::protoFilesPayload() {
    for (const std::string& path : crwRecordFilePaths(folderPath_)) {
        File file;
        file.filename = CRWLastPathComponent(path);
        plat::Error error;
        if (std::optional<plat::Data> contents = plat::AtomicFile::read(path, &error, CRWMaxRecordFileSize)) {
            file.contents = std::move(*contents);
            // A run that died while writing leaves a line cut short, or a crash record without the
            // section that ends it: say so rather than pass the rest off as the whole record.
            const std::string_view bytes(reinterpret_cast<const char*>(file.contents.data()),
                                         file.contents.size());
            file.truncated = !CRWParseRecordBytes(bytes, file.filename).whole();
        } else {
            CRWErrorLog("Failed to read from %@ with error: %@", path, error.localizedDescription());
            file.truncated = true;
        }
        if (file.truncated) CRWErrorLog("Packaging %@ marked as truncated", file.filename);
        files_.push_back(std::move(file));
    }
    // An empty list is the default of the submessage's only field: nothing to send.
    report_.has_apple_payload = !files_.empty();
    report_.apple_payload.files.funcs.encode = encodeFiles;
    report_.apple_payload.files.arg = &files_;
}

std::optional<plat::Data> CRWReportAdapter::transportBytes() const {
    pb_ostream_t sizing = PB_OSTREAM_SIZING;
    if (!pb_encode(&sizing, tessera_crashwatch_Report_fields, &report_))
        CRWErrorLog("Error in nanopb encoding for size: %s", errorText(sizing));
    plat::Data bytes(sizing.bytes_written);
    pb_ostream_t stream = pb_ostream_from_buffer(bytes.data(), bytes.size());
    if (!pb_encode(&stream, tessera_crashwatch_Report_fields, &report_))
        CRWErrorLog("Error in nanopb encoding for bytes: %s", errorText(stream));
    return bytes;
}

std::vector<std::string> CRWReportAdapter::crwRecordFilePaths(const std::string& folderPath) {
    std::vector<std::string> paths;
    plat::paths::FileProblem problem;
    // What another user left in the folder is not the user's report, and is not handed in with it.
    const std::optional<std::vector<plat::paths::FolderEntry>> entries =
        plat::paths::ownEntries(folderPath, &problem);
    if (!entries) {
        CRWErrorLog("Failed to find .crwrecords from %@ with error: %@", folderPath,
                    problem.refused ? problem.text : std::generic_category().message(problem.error));
        return paths;
    }
    for (const plat::paths::FolderEntry& entry : *entries) {
        const std::string& name = entry.name;
        const std::string extension = lowercased(CRWPathExtension(name));
        if (extension == "crwrecord" || extension == "symbolicated")
            paths.push_back(CRWPathByAppending(folderPath, name));
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        const std::string left = lowercased(a), right = lowercased(b);
        return left != right ? left < right : a < b;
    });
    return paths;
}

tessera_crashwatch_Platform CRWReportAdapter::protoPlatformFromString(const plat::Object& platform) {
    if (!platform.isString()) return tessera_crashwatch_Platform_PLATFORM_UNKNOWN;
    const std::string name = lowercased(platform.string());
    if (name == "ios") return tessera_crashwatch_Platform_PLATFORM_IOS;
    if (name == "tvos") return tessera_crashwatch_Platform_PLATFORM_TVOS;
    if (name == "mac") return tessera_crashwatch_Platform_PLATFORM_MAC;
    return tessera_crashwatch_Platform_PLATFORM_UNKNOWN;
}

plat::Object::Array CRWReportAdapter::dictionariesFromEachLineOfFile(const std::string& path) {
    plat::Object::Array objects;
    const std::optional<plat::Data> bytes = plat::AtomicFile::read(path, nullptr, CRWMaxRecordFileSize);
    if (!bytes) return objects;
    // Split before decoding, so one damaged byte costs its own line rather than the whole file.
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    size_t start = 0;
    int64_t lineNumber = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.empty()) continue;
        plat::Error error;
        plat::Object object =
            plat::JSONSerialization::jsonObject(line, plat::JSONSerialization::ReadingNone, &error);
        if (object.isDict()) {
            objects.push_back(std::move(object));
            continue;
        }
        const std::string reason =
            object.isAbsent() ? error.localizedDescription() : "the line is not an object";
        CRWErrorLog("Failed to read JSON from file (%@) line (%d) with error: %@", path, lineNumber, reason);
    }
    return objects;
}

plat::Object::Dict CRWReportAdapter::combinedDictionariesFromFilePath(const std::string& path) {
    plat::Object::Dict combined;
    for (const plat::Object& object : dictionariesFromEachLineOfFile(path))
        for (const auto& [key, value] : object.dict())
            combined[key] = value;
    return combined;
}
