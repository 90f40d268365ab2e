#include "platform/foundation/MachOHeader.h"
#include "platform/foundation/SystemFacts.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/utsname.h>

using plat::MachOHeader;
using plat::SystemFacts;

namespace {

// A little-endian Mach-O image built field by field.
struct ImageBuilder {
    std::vector<uint8_t> bytes;
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(uint8_t(v >> (8 * i)));
    }
    static ImageBuilder header(bool is64, uint32_t fileType, uint32_t ncmds, uint32_t sizeofcmds) {
        ImageBuilder b;
        b.u32(is64 ? MachOHeader::kMagic64 : MachOHeader::kMagic32);
        b.u32(0x0100000c); // cpu type
        b.u32(0);          // cpu subtype
        b.u32(fileType);
        b.u32(ncmds);
        b.u32(sizeofcmds);
        b.u32(0); // flags
        if (is64) b.u32(0);
        return b;
    }
    // Writes at most 64 bytes of the command, so a command may claim more than the image holds.
    void command(uint32_t cmd, uint32_t size, uint32_t field16 = 0) {
        size_t start = bytes.size();
        u32(cmd);
        u32(size);
        while (bytes.size() < start + 16)
            bytes.push_back(0);
        if (size >= 20) u32(field16);
        while (bytes.size() < start + std::min<uint32_t>(size, 64))
            bytes.push_back(0);
    }
};

ImageBuilder encryptedImage(bool is64, uint32_t cryptid) {
    auto b = ImageBuilder::header(is64, MachOHeader::kFileTypeExecute, 2, 24 + 24);
    b.command(0x19, 24); // an unrelated segment command first
    b.command(is64 ? MachOHeader::kCommandEncryptionInfo64 : MachOHeader::kCommandEncryptionInfo, 24,
              cryptid);
    return b;
}

} // namespace

TEST(SystemFacts, ModelNamesAreMadeSafe) {
    EXPECT_EQ(SystemFacts::safeModelName("  Standard PC (Q35 + ICH9, 2009)\n"),
              "Standard_PC_(Q35_+_ICH9,_2009)");
    EXPECT_EQ(SystemFacts::safeModelName("Model\t\tX\x01\x7f"), "Model_X");
    EXPECT_EQ(SystemFacts::safeModelName(" \n\t"), "");
    EXPECT_EQ(SystemFacts::safeModelName(std::string(500, 'a')).size(), 128u);
}

TEST(SystemFacts, HardwareModelComesFromDMI) {
    testsupport::TempHome home;
    auto dmi = home.path() / "dmi";
    EXPECT_FALSE(SystemFacts::hardwareModel(dmi));
    testsupport::writeFile(dmi / "board_name", "Board 7\n");
    EXPECT_EQ(SystemFacts::hardwareModel(dmi), "Board_7");
    testsupport::writeFile(dmi / "product_name", "ThinkBook 14 G2\n");
    EXPECT_EQ(SystemFacts::hardwareModel(dmi), "ThinkBook_14_G2");
    testsupport::writeFile(dmi / "product_name", "   \n"); // blank product name: the board stands in
    EXPECT_EQ(SystemFacts::hardwareModel(dmi), "Board_7");
}

TEST(SystemFacts, KernelEntries) {
    struct utsname uts {};
    ASSERT_EQ(uname(&uts), 0);
    EXPECT_EQ(SystemFacts::machine(), uts.machine);
    EXPECT_EQ(SystemFacts::sysctlEntry("hw.machine"), std::string(uts.machine));
    EXPECT_EQ(SystemFacts::sysctlEntry("kern.ostype"), std::string("Linux"));
    EXPECT_EQ(SystemFacts::sysctlEntry("kernel.ostype"), std::string("Linux")); // read from /proc/sys
    EXPECT_EQ(SystemFacts::sysctlEntry("kern.osversion"), std::string(uts.version));
    for (const char* bad : {"", ".", "kernel..ostype", "../etc/passwd", "kernel/ostype", "no.such.entry"})
        EXPECT_FALSE(SystemFacts::sysctlEntry(bad)) << bad;
}

TEST(SystemFacts, CPUBrandComesFromCpuinfo) {
    testsupport::TempHome home;
    auto cpuinfo = home.path() / "cpuinfo";
    EXPECT_FALSE(SystemFacts::cpuBrand(cpuinfo));
    // Boards without "model name" name their chip on another line; "model name" wins when present.
    testsupport::writeFile(cpuinfo, "processor\t: 0\nHardware\t: BCM2835\n");
    EXPECT_EQ(SystemFacts::cpuBrand(cpuinfo), "BCM2835");
    testsupport::writeFile(cpuinfo, "processor\t: 0\nHardware\t: BCM2835\nmodel name\t: Test CPU @ 2.00GHz\n"
                                    "model name\t: second core\n");
    EXPECT_EQ(SystemFacts::cpuBrand(cpuinfo), "Test CPU @ 2.00GHz");
    testsupport::writeFile(cpuinfo, "model name\t:\n");
    EXPECT_FALSE(SystemFacts::cpuBrand(cpuinfo));
}

TEST(MachOHeader, ReadsTheEncryptionIdentifierInEitherWidth) {
    for (bool is64 : {true, false}) {
        auto encrypted = encryptedImage(is64, 1);
        auto header = MachOHeader::parse(encrypted.bytes);
        ASSERT_TRUE(header);
        EXPECT_EQ(header->is64Bit(), is64);
        EXPECT_EQ(header->fileType(), MachOHeader::kFileTypeExecute);
        EXPECT_EQ(header->encryptionIdentifier(), 1u);
        EXPECT_TRUE(header->isEncrypted());

        auto plain = encryptedImage(is64, 0);
        EXPECT_FALSE(MachOHeader::parse(plain.bytes)->isEncrypted());
        EXPECT_EQ(MachOHeader::parse(plain.bytes)->encryptionIdentifier(), 0u);
    }
    // A 64-bit image looks only for the 64-bit command.
    auto mixed = ImageBuilder::header(true, 2, 1, 24);
    mixed.command(MachOHeader::kCommandEncryptionInfo, 24, 1);
    EXPECT_FALSE(MachOHeader::parse(mixed.bytes)->encryptionIdentifier());
}

TEST(MachOHeader, HostileLoadCommandsEndTheWalk) {
    // A zero-sized command would never advance.
    auto zero = ImageBuilder::header(true, 2, 1000000, 64);
    zero.command(0x19, 0);
    zero.bytes.resize(32 + 64);
    int visited = 0;
    MachOHeader::parse(zero.bytes)->forEachLoadCommand([&](const auto&) { return ++visited, true; });
    EXPECT_EQ(visited, 0);

    // A command claiming more than the command area.
    auto oversized = ImageBuilder::header(true, 2, 2, 24);
    oversized.command(0x19, 24);
    oversized.command(MachOHeader::kCommandEncryptionInfo64, 24, 1); // lies outside sizeofcmds
    EXPECT_FALSE(MachOHeader::parse(oversized.bytes)->encryptionIdentifier());
    // A command claiming more than the buffer holds.
    auto huge = ImageBuilder::header(true, 2, 1, 0xffffffff);
    huge.command(MachOHeader::kCommandEncryptionInfo64, 0xfffffff0, 1);
    EXPECT_FALSE(MachOHeader::parse(huge.bytes)->encryptionIdentifier());

    // The count bounds the walk even when more commands follow.
    auto counted = encryptedImage(true, 1);
    counted.bytes[16] = 1; // ncmds = 1: the encryption command is not listed
    EXPECT_FALSE(MachOHeader::parse(counted.bytes)->encryptionIdentifier());

    // A truncated buffer never reads past its end.
    auto truncated = encryptedImage(true, 1);
    truncated.bytes.resize(truncated.bytes.size() - 6);
    EXPECT_FALSE(MachOHeader::parse(truncated.bytes)->encryptionIdentifier());
    // An encryption command too short to hold its identifier.
    auto shortCommand = ImageBuilder::header(true, 2, 1, 16);
    shortCommand.command(MachOHeader::kCommandEncryptionInfo64, 16);
    EXPECT_FALSE(MachOHeader::parse(shortCommand.bytes)->encryptionIdentifier());
}

TEST(MachOHeader, RejectsOtherFormatsAndShortBuffers) {
    EXPECT_FALSE(MachOHeader::parse(std::vector<uint8_t>{0x7f, 'E', 'L', 'F'}));
    auto header = encryptedImage(true, 1);
    header.bytes.resize(30); // shorter than a 64-bit header
    EXPECT_FALSE(MachOHeader::parse(header.bytes));
    EXPECT_FALSE(MachOHeader::readHeaderBytes("/proc/self/exe")); // this test binary is ELF

    // Big-endian images read the same.
    auto big = encryptedImage(false, 5);
    for (size_t i = 0; i + 4 <= big.bytes.size(); i += 4)
        std::reverse(big.bytes.begin() + long(i), big.bytes.begin() + long(i) + 4);
    EXPECT_EQ(MachOHeader::parse(big.bytes)->encryptionIdentifier(), 5u);

    testsupport::TempHome home;
    auto image = encryptedImage(true, 3);
    testsupport::writeFile(home.path() / "image",
                           std::string(image.bytes.begin(), image.bytes.end()) + "tail");
    auto read = MachOHeader::readHeaderBytes(home.path() / "image");
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, image.bytes);
}
