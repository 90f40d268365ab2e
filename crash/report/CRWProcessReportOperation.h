// Processing of one report folder before it is packaged: the stack traces of its crash files are
// symbolicated in this process and written beside each crash file as "<file>.symbolicated". Runs
// synchronously on the caller's thread (the report uploader's).
//
// The folder was written by a crashed run and is treated as untrusted. Processing never fails its
// caller and never deletes or rewrites a record: every file and line that reads is used, and what
// could not be read (a missing image list, a record that is unreadable, too large, has damaged
// lines or is a crash record cut before its closing section) is listed in unreadableRecords() and,
// when there is any, in the folder's "unreadable_records.crwmarks" file, which the payload does not
// carry. The caller decides what to do with such a report; a report that failed processing stays
// where it is.
#pragma once

#include "crash/report/CRWInternalReport.h"
#include "crash/report/CRWSymbolResolver.h"
#include "crash/report/CRWThreadArrayOperation.h"

#include <memory>
#include <string>
#include <vector>

// The name of the marks file in a processed folder.
inline constexpr const char* CRWUnreadableRecordsFile = "unreadable_records.crwmarks";

// One record that processing could not read whole.
struct CRWUnreadableRecord {
    std::string fileName;
    CRWRecordFileState state = CRWRecordFileState::Missing;
    size_t damagedLines = 0;
    bool unfinished = false; // a crash record without the section that ends it
};

class CRWProcessReportOperation : public CRWOperation {
public:
    CRWProcessReportOperation(std::shared_ptr<CRWInternalReport> report,
                              std::shared_ptr<CRWSymbolResolver> resolver);

    const std::shared_ptr<CRWInternalReport>& report() const { return report_; }
    const std::shared_ptr<CRWSymbolResolver>& symbolResolver() const { return symbolResolver_; }

    // Loads the image list, symbolicates each crash file that has threads, demangles the exception
    // type names that crash time left mangled, then notes what could not be read.
    void main() override;

    std::string binaryImagePath() const;
    // The stack traces of the first section carrying "threads": one frame per "stacktrace" address
    // (0 for an entry that is not a number, so positions hold); none when no section carries them.
    static std::shared_ptr<CRWThreadArray> threadArrayFromFile(const std::string& path);
    // Symbolicates, demangles and serializes one crash file; false when it has no threads.
    bool symbolicateFile(const std::string& path, CRWSymbolResolver* resolver);

    // The crash files that got a symbolicated copy in the last run, in order.
    const std::vector<std::string>& symbolicatedFiles() const { return symbolicatedFiles_; }
    // What the last run could not read whole.
    const std::vector<CRWUnreadableRecord>& unreadableRecords() const { return unreadableRecords_; }

    // The exception record's type names that the crash-time demangler left mangled (marked so in
    // their "exception" section), demangled now and written after the threads of the record's
    // symbolicated copy (made when there is none): one "exception" section each, holding "name"
    // (the demangled name) and "mangled_name" (the name as recorded), both hex like the record's.
    // The record itself is left as it is. False when there was nothing to demangle.
    bool demangleExceptionNames();

private:
    void noteUnreadableRecords();
    void writeMarks() const;

    std::shared_ptr<CRWInternalReport> report_;
    std::shared_ptr<CRWSymbolResolver> symbolResolver_;
    std::vector<std::string> symbolicatedFiles_;
    std::vector<CRWUnreadableRecord> unreadableRecords_;
};
