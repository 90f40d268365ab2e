#include "crash/report/CRWRecordFileReader.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWFileRead.h"
#include "crash/report/CRWFileManager.h"
#include "platform/foundation/OwnFiles.h"

const char* CRWRecordClosingSection(std::string_view fileName) {
    // Each catcher writes its own section, then the common crash path describes the process and
    // writes the storage section last, unconditionally, before it closes the file (CRWHandler).
    for (const char* crashRecord : {CRWReportSignalFile, CRWReportMachExceptionFile, CRWReportExceptionFile})
        if (fileName == crashRecord) return "storage";
    return nullptr;
}

CRWRecordFileContents CRWParseRecordBytes(std::string_view bytes, std::string_view fileName) {
    CRWRecordFileContents contents;
    contents.state = CRWRecordFileState::Read;
    contents.sections = CRWFileParseSections(bytes);
    size_t lines = 0;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        if (end > start) ++lines;
        start = end + 1;
    }
    contents.damagedLines = lines > contents.sections.size() ? lines - contents.sections.size() : 0;
    // Every line may be whole and the record still short: the file ends where a kill fell between
    // two lines. A fatal exception record may hold more than one record appended, so it is the file's
    // last section that must close it.
    if (const char* closing = CRWRecordClosingSection(fileName))
        contents.unfinished = contents.sections.empty() || contents.sections.back()[closing].isAbsent();
    return contents;
}

CRWRecordFileContents CRWReadRecordFile(const std::string& path) {
    CRWRecordFileContents contents;
    if (path.empty()) return contents;
    // Only plain files of the user's own are records: opening a pipe or a device could block or
    // read forever, and what another user left is not theirs to hand in.
    const plat::paths::OwnFile file = plat::paths::readOwnFile(path, CRWMaxRecordFileSize);
    switch (file.state) {
    case plat::paths::OwnFile::State::Read:
        break;
    case plat::paths::OwnFile::State::Absent:
        return contents;
    case plat::paths::OwnFile::State::TooLarge:
        contents.state = CRWRecordFileState::TooLarge;
        return contents;
    case plat::paths::OwnFile::State::Refused:
    case plat::paths::OwnFile::State::Unreadable:
        contents.state = CRWRecordFileState::Unreadable;
        return contents;
    }
    return CRWParseRecordBytes(file.bytes, CRWLastPathComponent(path));
}

const plat::Object& CRWRecordSectionNamed(const plat::Object::Array& sections, std::string_view name) {
    for (const plat::Object& section : sections) {
        const plat::Object& value = section[name];
        if (!value.isAbsent()) return value;
    }
    static const plat::Object& absent = *new plat::Object;
    return absent;
}

const char* CRWRecordFileStateName(CRWRecordFileState state) {
    switch (state) {
    case CRWRecordFileState::Read:
        return "read";
    case CRWRecordFileState::Missing:
        return "missing";
    case CRWRecordFileState::Unreadable:
        return "unreadable";
    case CRWRecordFileState::TooLarge:
        return "too large";
    }
    return "unreadable";
}
