// Image headers read from files on disk: every load command the walk reports lies inside the
// image and the command area.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/MachOHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto header = plat::MachOHeader::parse(std::span<const uint8_t>(data, size));
    if (!header) return 0;
    const size_t end = header->headerSize() + header->sizeOfCommands();
    uint32_t visited = 0;
    header->forEachLoadCommand([&](const plat::MachOHeader::LoadCommand& command) {
        ++visited;
        fuzz::check(command.cmdsize >= 8, "a command is at least 8 bytes");
        fuzz::check(command.offset + command.cmdsize <= size, "a command lies inside the image");
        fuzz::check(command.offset + command.cmdsize <= end, "a command lies inside the command area");
        (void)header->readUInt32(command.offset + 8);
        return true;
    });
    fuzz::check(visited <= header->numberOfCommands(), "the walk stops at the header's count");
    (void)header->isEncrypted();
    return 0;
}
