#include "platform/foundation/MachOHeader.h"

#include <algorithm>
#include <fstream>

namespace plat {
namespace {

constexpr uint32_t kCigam32 = 0xcefaedfe;
constexpr uint32_t kCigam64 = 0xcffaedfe;
// Real images keep their load commands within a few pages; this only bounds hostile files.
constexpr uint32_t kMaxCommandArea = 16u << 20;

uint32_t loadLittleEndian(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t byteSwap(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xff00) | ((v << 8) & 0xff0000) | (v << 24);
}

} // namespace

std::optional<MachOHeader> MachOHeader::parse(std::span<const uint8_t> image) {
    if (image.size() < 28) return std::nullopt;
    MachOHeader header;
    header.image_ = image;
    uint32_t magic = loadLittleEndian(image.data());
    switch (magic) {
    case kMagic32:
        break;
    case kMagic64:
        header.is64_ = true;
        break;
    case kCigam32:
        header.swapped_ = true;
        break;
    case kCigam64:
        header.swapped_ = true;
        header.is64_ = true;
        break;
    default:
        return std::nullopt;
    }
    if (image.size() < header.headerSize()) return std::nullopt;
    header.fileType_ = *header.readUInt32(12);
    header.ncmds_ = *header.readUInt32(16);
    header.sizeofcmds_ = *header.readUInt32(20);
    return header;
}

std::optional<uint32_t> MachOHeader::readUInt32(size_t offset) const {
    if (offset > image_.size() || image_.size() - offset < 4) return std::nullopt;
    uint32_t v = loadLittleEndian(image_.data() + offset);
    return swapped_ ? byteSwap(v) : v;
}

void MachOHeader::forEachLoadCommand(const std::function<bool(const LoadCommand&)>& visit) const {
    size_t offset = headerSize();
    size_t end = offset + sizeofcmds_;
    if (end > image_.size()) end = image_.size();
    for (uint32_t i = 0; i < ncmds_; ++i) {
        if (offset > end || end - offset < 8) return;
        LoadCommand command{*readUInt32(offset), *readUInt32(offset + 4), offset};
        // A command smaller than its own 8-byte prefix would never advance the walk, and one that
        // reaches past the command area lies about its size.
        if (command.cmdsize < 8 || command.cmdsize > end - offset) return;
        if (!visit(command)) return;
        offset += command.cmdsize;
    }
}

std::optional<uint32_t> MachOHeader::encryptionIdentifier() const {
    const uint32_t wanted = is64_ ? kCommandEncryptionInfo64 : kCommandEncryptionInfo;
    std::optional<uint32_t> identifier;
    forEachLoadCommand([&](const LoadCommand& command) {
        if (command.cmd != wanted) return true;
        // The identifier is the 32-bit field at byte 16; a command too short to hold it is damaged.
        if (command.cmdsize >= 20) identifier = readUInt32(command.offset + 16);
        return false;
    });
    return identifier;
}

std::optional<std::vector<uint8_t>> MachOHeader::readHeaderBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes(32);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    auto header = parse(bytes);
    if (!header) return std::nullopt;
    uint32_t area = std::min(header->sizeOfCommands(), kMaxCommandArea);
    size_t headerSize = header->headerSize();
    bytes.resize(headerSize + area);
    in.clear();
    in.seekg(std::streamoff(headerSize));
    in.read(reinterpret_cast<char*>(bytes.data() + headerSize), std::streamsize(area));
    bytes.resize(headerSize + size_t(in.gcount()));
    return bytes;
}

} // namespace plat
