// A prepared report folder as one protocol-buffer message (tessera.crashwatch.Report, see
// proto/crw_report.proto): identifiers of the run and the installation, and every record file of the
// user's own in the folder as it is ("*.crwrecord" and the "*.symbolicated" copies, sorted by name,
// case-insensitively), marked truncated when a line of it is not a whole record or a crash record
// lacks the section that ends it (CRWRecordFileReader.h).
// The folder is read once, when the adapter is made; the transport then asks for the encoded bytes
// as often as it likes (from any thread: the adapter does not change afterwards).
//
// Nothing here reports failure: a missing metadata file gives empty texts and platform 0, an
// unreadable folder no files, an unreadable file empty contents; each is logged. Byte fields are
// written by callbacks straight from the adapter's copies, so a file of any size fits and
// encoding allocates nothing. Not copyable: the message's callbacks point into the adapter.
#pragma once

#include "crash/report/CRWRecordBase.h"
#include "crash/report/proto/crw_report.pb.h"
#include "platform/object/Object.h"
#include "transport/TTREventDataObject.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CRWInstallIdentifierModel;

class CRWReportAdapter : public TTREventDataObject {
public:
    // Reads the folder's metadata and files and builds the message.
    CRWReportAdapter(std::string folderPath, std::string tesseraAppID,
                     std::shared_ptr<CRWInstallIdentifierModel> installIDModel,
                     std::optional<std::string> tiid, std::optional<std::string> authToken);
    CRWReportAdapter(const CRWReportAdapter&) = delete;
    CRWReportAdapter& operator=(const CRWReportAdapter&) = delete;

    // The encoded message: one sizing pass, then one pass into a buffer of exactly that size. Equal
    // bytes on every call. An encoder failure is logged and the bytes may then be incomplete.
    std::optional<plat::Data> transportBytes() const override;

    // One record file of the payload; `truncated` when its contents are not the whole record (a
    // line is cut or damaged, a crash record ends before its closing section, or it could not be
    // read), which the payload says of it.
    struct File {
        std::string filename;
        plat::Data contents;
        bool truncated = false;
    };

    const std::string& folderPath() const { return folderPath_; }
    const std::string& tesseraAppID() const { return tesseraAppID_; }
    const std::optional<std::string>& tiid() const { return tiid_; }
    const std::optional<std::string>& authToken() const { return authToken_; }
    const std::shared_ptr<CRWInstallIdentifierModel>& installIDModel() const { return installIDModel_; }
    const CRWRecordIdentity& identity() const { return identity_; }
    const CRWRecordHost& host() const { return host_; }
    const CRWRecordApplication& application() const { return application_; }
    const std::vector<File>& files() const { return files_; }
    // The message, its callbacks bound to this adapter.
    const tessera_crashwatch_Report& report() const { return report_; }

    // The user's own record files of a folder (what plat::paths::ownEntries lists), full paths,
    // sorted by name case-insensitively; none readable gives an empty list (logged).
    static std::vector<std::string> crwRecordFilePaths(const std::string& folderPath);
    // "ios" 1, "tvos" 2, "mac" 5 (any case), anything else 0.
    static tessera_crashwatch_Platform protoPlatformFromString(const plat::Object& platform);
    // The objects of a record file, one per line that parses as a JSON object, in file order; a line
    // that does not is skipped and logged with its 1-based number (empty lines counted).
    static plat::Object::Array dictionariesFromEachLineOfFile(const std::string& path);
    // Those objects merged in file order: a later line's key replaces an earlier one's whole.
    static plat::Object::Dict combinedDictionariesFromFilePath(const std::string& path);

private:
    void loadMetaDataFile();
    void protoReport();
    void protoFilesPayload();

    std::string folderPath_;
    std::string tesseraAppID_;
    std::shared_ptr<CRWInstallIdentifierModel> installIDModel_;
    std::optional<std::string> tiid_;
    std::optional<std::string> authToken_;
    CRWRecordIdentity identity_{plat::Object()};
    CRWRecordHost host_{plat::Object()};
    CRWRecordApplication application_{plat::Object()};

    // The texts of the byte fields, in tag order, and the files.
    struct Texts {
        std::string sdkVersion, tsrAppID, installationUUID, buildVersion, displayVersion,
            tesseraInstallationID, appHealthSessionID, tesseraAuthenticationToken;
    } texts_;
    std::vector<File> files_;
    tessera_crashwatch_Report report_ = tessera_crashwatch_Report_init_zero;
};

// The text a payload field carries for a metadata value: the value's bytes when it is text; the
// empty text for none, and for a null or any other kind of value, which is logged.
std::string CRWEncodeString(const plat::Object& value);
