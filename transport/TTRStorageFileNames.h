// The names under which the flat-file storage keeps events and batches, so that selection and
// expiration work on names alone. An event file is "<event id>-<tier>-<expiration seconds>-<mapping
// id>" (the mapping id percent-encoded: only ASCII letters, digits and "-" stay as they are); a batch
// folder is "<target>-<batch id>-<expiration seconds>". Names read back from disk are untrusted: a
// name that does not have exactly this shape gives no components.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TTREventFileComponents {
    std::string eventID;
    int64_t qosTier = 0;
    plat::Date expiration;
    std::string mappingID; // still percent-encoded
};

struct TTRBatchComponents {
    int64_t target = 0;
    int64_t batchID = 0;
    plat::Date expiration;
};

// Whole seconds since 1970 of `date`, the fraction dropped (0 for dates before 1970).
uint64_t TTRWholeSecondsSince1970(plat::Date date);

// The file name of an event (no folder).
std::string TTREventFileName(const std::string& eventID, int64_t qosTier, plat::Date expirationDate,
                             const std::string& mappingID);
// The name of a batch folder (no parent folder).
std::string TTRBatchFolderName(int64_t target, int64_t batchID, plat::Date expirationDate);

// The components of an event file name, or none (logged) for any other name.
std::optional<TTREventFileComponents> TTREventComponentsFromFilename(std::string_view fileName);
// The components of a batch folder name, or none (logged) for any other name.
std::optional<TTRBatchComponents> TTRBatchComponentsFromFilename(std::string_view fileName);

// Escapes every byte outside the ASCII letters, digits and "-" as %XX.
std::string TTRPercentEncodeMappingID(std::string_view mappingID);
// The text with its %XX escapes removed; none when an escape is malformed.
std::optional<std::string> TTRPercentDecode(std::string_view text);
