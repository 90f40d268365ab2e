// The reader side of record files, used at start-up and on later launches (never at crash time):
// sections parsed back into dictionaries, and hex text to and from strings. Record files come from
// a run that may have died mid-write or from a damaged disk, so every byte is treated as untrusted.
#pragma once

#include "platform/object/Object.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Turns one parsed section into what the caller keeps; an absent result drops the section.
using CRWFileSectionMapBlock = std::function<plat::Object(const plat::Object& section)>;

// The sections of the record file at `path`, in file order. The raw bytes are split at line feeds
// and each piece is parsed on its own, so a torn last line or one damaged byte costs only its own
// line; pieces that are not a JSON object (the empty piece after the last line feed included) are
// skipped silently. With `mapBlock` the block's non-absent results are returned instead of the
// sections. None when `path` is missing or the file cannot be read; then the file is deleted when
// `deleteOnFailure` is set.
std::optional<plat::Object::Array> CRWFileReadSections(const char* path, bool deleteOnFailure,
                                                       const CRWFileSectionMapBlock& mapBlock = {});
// The same over bytes already in memory (the file's contents).
plat::Object::Array CRWFileParseSections(std::string_view bytes, const CRWFileSectionMapBlock& mapBlock = {});

// What the next launch logs about the crash records a crashed run could not make: one message for
// each lost-record line in its crashed marker (CRWCreateCrashedMarkerFileNotingLostRecord), "Report
// <id>: the crash record <file> could not be made (<error>)". None for a marker without such lines,
// or one that cannot be read.
std::vector<std::string> CRWLostRecordMessages(const std::string& markerPath);

// Two lower-case hex digits per byte of `text`.
std::string CRWFileHexEncodeString(std::string_view text);
// Decodes digit pairs (either case) until the first pair holding anything else; a trailing single
// digit is ignored; the result ends at the first zero byte. None when the decoded bytes are not
// UTF-8 text. An empty input gives an empty string.
std::optional<std::string> CRWFileHexDecodeString(std::string_view text);
