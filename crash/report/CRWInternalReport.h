// One report folder (one run of the application) and the facts its run wrote into it: the
// identifier and metadata, whether it holds events and whether it is a crash. The folder may be torn
// anywhere: every getter answers none (or its stated default) for what it cannot read, never fails.
// Used from one thread at a time (the crash reporter's work queue); the metadata cache is unlocked.
#pragma once

#include "crash/report/CRWRecordFileReader.h"
#include "platform/object/Object.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CRWInternalReport {
public:
    // The report at `path`, identified by "session_id" of its metadata's "identity" section; none
    // (after logging "Unable to read identifier at path %@") when that cannot be read.
    static std::shared_ptr<CRWInternalReport> reportWithPath(const std::string& path);
    // None when either argument is empty.
    static std::shared_ptr<CRWInternalReport> initWithPath(const std::string& path,
                                                           const std::string& executionIdentifier);
    CRWInternalReport(std::string path, std::string identifier);

    const std::string& identifier() const { return identifier_; }
    const std::string& path() const { return path_; }
    // The folder moved (to "processing" or "prepared").
    void setPath(std::string path) { path_ = std::move(path); }
    const std::string& installID() const { return installID_; }
    void setInstallID(std::string installID) { installID_ = std::move(installID); }

    std::string directoryName() const;
    std::string pathForContentFile(const std::string& name) const;
    std::string metadataPath() const;
    std::string binaryImagePath() const;

    // At least one event file exists.
    bool hasAnyEvents() const;
    // At least one crash file exists.
    bool isCrash() const;
    // The crash files, in the order they are looked at and symbolicated.
    static const std::vector<std::string>& crashFileNames();
    // The event files.
    static const std::vector<std::string>& eventFileNames();
    bool checkExistenceOfAtLeastOneFileInArray(const std::vector<std::string>& names) const;
    // Calls `block` with the path of each crash file, in order, whether or not it exists.
    void
    enumerateSymbolicatableFilesInContent(const std::function<void(const std::string& path)>& block) const;

    // All sections of a record file; none when it holds none.
    static std::optional<plat::Object::Array> readCRWFileAtPath(const std::string& path);

    // The metadata's sections, read on first use and kept, and how the file read.
    const plat::Object::Array& metadataSections() const;
    const CRWRecordFileContents& metadataContents() const;

    // Metadata values; none when the file, its section or the key is missing or not text.
    std::optional<std::string> orgID() const;
    std::optional<std::string> OSVersion() const;
    std::optional<std::string> OSBuildVersion() const;
    std::optional<std::string> bundleVersion() const;
    std::optional<std::string> bundleShortVersionString() const;
    // "started_at" as seconds since 1970; 1970-01-01 itself when absent.
    plat::Date dateCreated() const;
    // None on this platform.
    std::optional<plat::Object::Dict> customKeys() const { return std::nullopt; }
    // For a crash, the time in "mach_exception.crwrecord", else in "signal.crwrecord"; none when
    // the report is not a crash or neither file gives a time.
    std::optional<plat::Date> crashedOnDate() const;
    std::optional<plat::Date> timeFromCrashContentFile(const std::string& name,
                                                       const std::string& sectionName) const;

private:
    std::optional<std::string> metadataString(const char* section, const char* key) const;

    std::string identifier_;
    std::string path_;
    mutable std::optional<CRWRecordFileContents> metadata_;
    std::string installID_;
};
