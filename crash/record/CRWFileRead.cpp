// The reader side of record files: raw bytes split at line feeds, each line parsed on its own.
#include "crash/record/CRWFileRead.h"

#include "crash/record/CRWCrashUtilities.h"
#include "crash/record/CRWHex.h"
#include "crash/record/CRWSDKFileLog.h"
#include "platform/foundation/JSONSerialization.h"
#include "platform/foundation/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The whole file; none when it cannot be opened or a read fails (a folder, for one).
std::optional<std::string> readWholeFile(const char* path) {
    const int descriptor = open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return std::nullopt;
    std::string contents;
    char chunk[16384];
    for (;;) {
        const ssize_t count = read(descriptor, chunk, sizeof(chunk));
        if (count == 0) break;
        if (count < 0) {
            if (errno == EINTR) continue;
            close(descriptor);
            return std::nullopt;
        }
        contents.append(chunk, static_cast<size_t>(count));
    }
    close(descriptor);
    return contents;
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
    std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes) {
        if (deleteOnFailure) CRWUnlinkIfExists(path);
        CRWSDKLogWarn("Unable to read file %s\n", path);
        return std::nullopt;
    }
    return CRWFileParseSections(*bytes, mapBlock);
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
