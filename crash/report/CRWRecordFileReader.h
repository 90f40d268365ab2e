// Reading the record files of a report folder on a later launch. The folder was written by a run
// that may have died anywhere, so a file may be missing, empty, torn mid-line, damaged or absurdly
// large: the reader keeps every line that parses and says what it could not read, and never deletes
// anything (a report it cannot read stays on disk for a later launch or a person).
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <string>
#include <string_view>

// Record files larger than this are not read into memory; a run never writes one this large.
inline constexpr uint64_t CRWMaxRecordFileSize = 32ull << 20;

enum class CRWRecordFileState {
    Read,       // the file was read (some lines may still be damaged)
    Missing,    // nothing at the path
    Unreadable, // a folder, no permission, or an I/O error
    TooLarge,   // over CRWMaxRecordFileSize
};

// What one record file held.
struct CRWRecordFileContents {
    CRWRecordFileState state = CRWRecordFileState::Missing;
    plat::Object::Array sections; // each line that parsed as an object, in file order
    size_t damagedLines = 0;      // non-empty lines that did not (a torn last line included)

    // Read, and every line parsed.
    bool whole() const { return state == CRWRecordFileState::Read && damagedLines == 0; }
};

// Reads and parses the record file at `path`.
CRWRecordFileContents CRWReadRecordFile(const std::string& path);
// Parses record bytes already in memory.
CRWRecordFileContents CRWParseRecordBytes(std::string_view bytes);

// The value under `name` in the first section that carries it; absent when none does. Finding
// sections by name rather than by line keeps the rest of a file usable when one line is damaged.
const plat::Object& CRWRecordSectionNamed(const plat::Object::Array& sections, std::string_view name);

// A short word for a state ("read", "missing", "unreadable", "too large").
const char* CRWRecordFileStateName(CRWRecordFileState state);
