// The header of a Mach-O image read from a byte buffer, with a bounded walk over its load
// commands. Nothing here trusts the image: every read is checked against the buffer, the header's
// command count and the header's command size, so damaged or hostile images answer "not found".
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace plat {

class MachOHeader {
public:
    static constexpr uint32_t kMagic32 = 0xfeedface;
    static constexpr uint32_t kMagic64 = 0xfeedfacf;
    static constexpr uint32_t kFileTypeExecute = 2;
    static constexpr uint32_t kCommandEncryptionInfo = 0x21;
    static constexpr uint32_t kCommandEncryptionInfo64 = 0x2c;

    struct LoadCommand {
        uint32_t cmd = 0;
        uint32_t cmdsize = 0;
        size_t offset = 0; // from the start of the image
    };

    // The header of `image`, or none when the buffer is too short or the magic is not a Mach-O
    // magic (either byte order). The span must outlive the header.
    static std::optional<MachOHeader> parse(std::span<const uint8_t> image);
    // The header and load-command bytes of the file at `path` (at most a few megabytes); none when
    // the file cannot be read or is not a Mach-O image.
    static std::optional<std::vector<uint8_t>> readHeaderBytes(const std::filesystem::path& path);

    bool is64Bit() const { return is64_; }
    uint32_t fileType() const { return fileType_; }
    uint32_t numberOfCommands() const { return ncmds_; }
    uint32_t sizeOfCommands() const { return sizeofcmds_; }
    // 32 bytes for 64-bit images, 28 otherwise; the load commands follow.
    size_t headerSize() const { return is64_ ? 32 : 28; }

    // Visits the load commands in order until `visit` answers false. The walk stops at the
    // header's count, at the end of the command area or the buffer, and at a command whose size is
    // below 8 or reaches past that end.
    void forEachLoadCommand(const std::function<bool(const LoadCommand&)>& visit) const;
    // Reads a 32-bit field of the image in its byte order; none outside the buffer.
    std::optional<uint32_t> readUInt32(size_t offset) const;

    // The encryption identifier of the image's encryption-information command (the 64-bit command
    // in 64-bit images); none when it has no such command.
    std::optional<uint32_t> encryptionIdentifier() const;
    bool isEncrypted() const { return encryptionIdentifier().value_or(0) != 0; }

private:
    std::span<const uint8_t> image_;
    bool swapped_ = false;
    bool is64_ = false;
    uint32_t fileType_ = 0;
    uint32_t ncmds_ = 0;
    uint32_t sizeofcmds_ = 0;
};

} // namespace plat
