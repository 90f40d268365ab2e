#include "crash/report/CRWRecordFileReader.h"

#include "crash/record/CRWFileRead.h"
#include "platform/foundation/AtomicFile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

CRWRecordFileContents CRWParseRecordBytes(std::string_view bytes) {
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
    return contents;
}

CRWRecordFileContents CRWReadRecordFile(const std::string& path) {
    CRWRecordFileContents contents;
    std::error_code ignored;
    const std::filesystem::file_status status = std::filesystem::symlink_status(path, ignored);
    if (path.empty() || !std::filesystem::exists(status)) return contents;
    // Opening a pipe or a device could block or read forever; only plain files are records.
    if (!std::filesystem::is_regular_file(status)) {
        contents.state = CRWRecordFileState::Unreadable;
        return contents;
    }
    std::error_code sizeError;
    const uintmax_t size = std::filesystem::file_size(path, sizeError);
    if (!sizeError && size > CRWMaxRecordFileSize) {
        contents.state = CRWRecordFileState::TooLarge;
        return contents;
    }
    plat::Error error;
    const std::optional<plat::Data> bytes = plat::AtomicFile::read(path, &error, CRWMaxRecordFileSize);
    if (!bytes) {
        // The file may have grown between the two looks.
        contents.state = error.code == EFBIG ? CRWRecordFileState::TooLarge : CRWRecordFileState::Unreadable;
        return contents;
    }
    return CRWParseRecordBytes(std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
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
