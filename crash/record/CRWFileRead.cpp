// The reader side of record files: raw bytes split at line feeds, each line parsed on its own.
#include "crash/record/CRWFileRead.h"

#include "crash/record/CRWContext.h"
#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWHex.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/OwnFiles.h"
#include "platform/foundation/Text.h"

namespace {

// The whole file; none when it cannot be read, or is not a plain file of the user's own (a folder,
// another user's file, a socket).
std::optional<std::string> readWholeFile(const char* path, bool& refused) {
    plat::paths::OwnFile file = plat::paths::readOwnFile(path);
    refused = file.state == plat::paths::OwnFile::State::Refused;
    if (file.state != plat::paths::OwnFile::State::Read) return std::nullopt;
    return std::move(file.bytes);
}

} // namespace

plat::Object::Array CRWFileParseSections(std::string_view bytes, const CRWFileSectionMapBlock& mapBlock) {
    plat::Object::Array sections;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(start, end - start);
        start = end + 1;
        if (line.empty()) continue;
        plat::Object section = plat::JSONSerialization::jsonObject(line);
        // Sections are objects; anything else on a line is damage.
        if (!section.isDict()) continue;
        if (!mapBlock) {
            sections.push_back(std::move(section));
            continue;
        }
        plat::Object mapped = mapBlock(section);
        if (!mapped.isAbsent()) sections.push_back(std::move(mapped));
    }
    return sections;
}

std::optional<plat::Object::Array> CRWFileReadSections(const char* path, bool deleteOnFailure,
                                                       const CRWFileSectionMapBlock& mapBlock) {
    if (path == nullptr) {
        CRWSDKLogError("Error: input path is invalid\n");
        return std::nullopt;
    }
    bool refused = false;
    std::optional<std::string> bytes = readWholeFile(path, refused);
    if (!bytes) {
        // What is not the user's own (a folder among them) is left where it is.
        if (deleteOnFailure && !refused) plat::paths::removeOwn(path);
        CRWSDKLogWarn("Unable to read file %s\n", path);
        return std::nullopt;
    }
    return CRWFileParseSections(*bytes, mapBlock);
}

std::vector<std::string> CRWLostRecordMessages(const std::string& markerPath) {
    std::vector<std::string> messages;
    bool refused = false;
    const std::optional<std::string> bytes = readWholeFile(markerPath.c_str(), refused);
    if (!bytes) return messages;
    const auto text = [](const plat::Object& value) {
        return value.isString() ? value.string() : "(unknown)";
    };
    for (const plat::Object& section : CRWFileParseSections(*bytes)) {
        const plat::Object& lost = section[CRWLostRecordSection];
        if (!lost.isDict()) continue;
        messages.push_back("Report " + text(lost["report"]) + ": the crash record " + text(lost["file"]) +
                           " could not be made (" + text(lost["error"]) + ")");
    }
    return messages;
}

std::string CRWFileHexEncodeString(std::string_view text) {
    std::string hex(text.size() * 2, '\0');
    for (size_t i = 0; i < text.size(); ++i)
        CRWHexFromByte(static_cast<uint8_t>(text[i]), hex.data() + 2 * i);
    return hex;
}

std::optional<std::string> CRWFileHexDecodeString(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size() / 2);
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const uint8_t high = CRWNybbleFromChar(text[i]);
        const uint8_t low = CRWNybbleFromChar(text[i + 1]);
        if (high > 15 || low > 15) break;
        const char byte = static_cast<char>((high << 4) | low);
        if (byte == '\0') break;
        decoded.push_back(byte);
    }
    if (!plat::text::isValidUTF8(decoded)) return std::nullopt;
    return decoded;
}
