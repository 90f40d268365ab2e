// Reading the record files of a report folder on a later launch. The folder was written by a run
// that may have died anywhere, so a file may be missing, empty, torn mid-line, damaged or absurdly
// large: the reader keeps every line that parses and says what it could not read, and never deletes
// anything (a report it cannot read stays on disk for a later launch or a person).
//
// A kill can also fall exactly between two lines, leaving every line whole and the record short.
// The crash records (signal, mach exception, fatal exception) are written in one go by the common
// crash path (CRWHandler), which always ends them with the "storage" section: such a record whose
// last section is anything else was cut. Other record files (metadata, image lists, logs, key-value
// stores, custom exceptions) grow line by line with no closing line, so only their lines are judged.
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
    bool unfinished = false;      // a crash record whose last section is not the one that ends it

    // Read, every line parsed, and nothing missing from the end of a crash record.
    bool whole() const { return state == CRWRecordFileState::Read && damagedLines == 0 && !unfinished; }
};

// Reads and parses the record file at `path`, judged as the record its file name says it is.
CRWRecordFileContents CRWReadRecordFile(const std::string& path);
// Parses record bytes already in memory, judged as the record file `fileName` (a bare name, no
// folder); with no name, or the name of a file without a closing section, only the lines are judged.
CRWRecordFileContents CRWParseRecordBytes(std::string_view bytes, std::string_view fileName = {});

// The section that every finished record file named `fileName` ends with; none (nullptr) for the
// files that have no such section.
const char* CRWRecordClosingSection(std::string_view fileName);

// The value under `name` in the first section that carries it; absent when none does. Finding
// sections by name rather than by line keeps the rest of a file usable when one line is damaged.
const plat::Object& CRWRecordSectionNamed(const plat::Object::Array& sections, std::string_view name);

// A short word for a state ("read", "missing", "unreadable", "too large").
const char* CRWRecordFileStateName(CRWRecordFileState state);
