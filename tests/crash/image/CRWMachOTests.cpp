#include "crash/image/CRWMachO.h"
#include "crash/image/CRWMachOBinary.h"
#include "crash/image/CRWMachOFile.h"
#include "crash/image/CRWdSYM.h"
#include "platform/security/Digest.h"
#include "tests/crash/support/MachOFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

using namespace crashtest;

namespace {

struct Command {
    uint32_t type;
    uint32_t size;
    const uint8_t* bytes;
};

std::vector<Command> commandsOf(const CRWMachOSliceRecord& slice, CRWMachOStatus* status = nullptr) {
    std::vector<Command> out;
    CRWMachOStatus result = CRWMachOSliceEnumerateLoadCommands_f(
        &slice, &out, [](uint32_t type, uint32_t size, const uint8_t* command, void* context) {
            static_cast<std::vector<Command>*>(context)->push_back({type, size, command});
        });
    if (status) *status = result;
    return out;
}

const std::map<uint32_t, std::string> kCommandNames = {
    {0x1, "LC_SEGMENT"},
    {0x2, "LC_SYMTAB"},
    {0xB, "LC_DYSYMTAB"},
    {0xC, "LC_LOAD_DYLIB"},
    {0xD, "LC_ID_DYLIB"},
    {0xE, "LC_LOAD_DYLINKER"},
    {0x19, "LC_SEGMENT_64"},
    {0x1B, "LC_UUID"},
    {0x1D, "LC_CODE_SIGNATURE"},
    {0x21, "LC_ENCRYPTION_INFO"},
    {0x24, "LC_VERSION_MIN_MACOSX"},
    {0x25, "LC_VERSION_MIN_IPHONEOS"},
    {0x26, "LC_FUNCTION_STARTS"},
    {0x29, "LC_DATA_IN_CODE"},
    {0x2A, "LC_SOURCE_VERSION"},
    {0x32, "LC_BUILD_VERSION"},
    {0x8000001C, "LC_RPATH"},
    {0x80000022, "LC_DYLD_INFO_ONLY"},
    {0x80000028, "LC_MAIN"},
};

// The tool prints "10.3" for 10.3.0.
std::string toolVersion(const CRWMachOVersion& version) {
    std::string text = *CRWMachOFormatVersion(&version);
    if (version.bugfix == 0) text.resize(text.rfind('.'));
    return text;
}

std::string toolUUID(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '-'), text.end());
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Compares everything the parser reads from a slice with the tool's listing of it.
void expectSliceMatchesListing(const CRWMachOSliceRecord& slice, const std::string& listingName) {
    SCOPED_TRACE(listingName);
    const OtoolListing listing = readOtoolListing(listingName);
    ASSERT_FALSE(listing.commands.empty());
    uint32_t magic = 0;
    std::memcpy(&magic, reinterpret_cast<const void*>(slice.startAddress), 4);
    EXPECT_EQ(magic, parseNumber(listing.header.at("magic")));
    EXPECT_EQ(static_cast<uint32_t>(slice.cpuType), parseNumber(listing.header.at("cputype")));
    EXPECT_EQ(static_cast<uint32_t>(slice.cpuSubType) & 0xFFFFFF,
              parseNumber(listing.header.at("cpusubtype")));

    CRWMachOStatus status;
    const std::vector<Command> commands = commandsOf(slice, &status);
    ASSERT_EQ(status, CRWMachOStatusOK);
    ASSERT_EQ(commands.size(), listing.commands.size());
    EXPECT_EQ(commands.size(), parseNumber(listing.header.at("ncmds")));
    for (size_t i = 0; i < commands.size(); ++i) {
        const Command& command = commands[i];
        const auto& fields = listing.commands[i].fields;
        SCOPED_TRACE(fields.at("cmd"));
        ASSERT_TRUE(kCommandNames.count(command.type)) << std::hex << command.type;
        EXPECT_EQ(kCommandNames.at(command.type), fields.at("cmd"));
        EXPECT_EQ(command.size, parseNumber(fields.at("cmdsize")));
        if (command.type == CRWMachOLoadCommandUUID) {
            EXPECT_EQ(CRWMachONormalizeUUID(CRWMachOGetUUID(command.bytes, command.size)),
                      toolUUID(fields.at("uuid")));
        } else if (command.type == CRWMachOLoadCommandSegment ||
                   command.type == CRWMachOLoadCommandSegment64) {
            const CRWMachOSegment segment =
                CRWMachOGetSegmentCommand(command.type, command.bytes, command.size);
            EXPECT_EQ(std::string(segment.segname, strnlen(segment.segname, 16)), fields.at("segname"));
            EXPECT_EQ(segment.vmaddr, parseNumber(fields.at("vmaddr")));
            EXPECT_EQ(segment.vmsize, parseNumber(fields.at("vmsize")));
            for (const ListingBlock& listed : listing.commands[i].sections) {
                CRWMachOSection section{};
                ASSERT_TRUE(CRWMachOSliceInitSectionByName(&slice, listed.fields.at("segname").c_str(),
                                                           listed.fields.at("sectname").c_str(), &section));
                EXPECT_EQ(section.address, parseNumber(listed.fields.at("addr")));
                EXPECT_EQ(section.size, parseNumber(listed.fields.at("size")));
                EXPECT_EQ(section.offset, parseNumber(listed.fields.at("offset")));
            }
        } else if (CRWMachOIsVersionMinCommand(command.type)) {
            EXPECT_EQ(toolVersion(CRWMachOGetMinimumOSVersion(command.bytes, command.size)),
                      fields.at("version"));
            EXPECT_EQ(toolVersion(CRWMachOGetLinkedSDKVersion(command.bytes, command.size)),
                      fields.at("sdk"));
        } else if (command.type == CRWMachOLoadCommandLoadDylib) {
            const std::string name = fields.at("name");
            EXPECT_EQ(std::string(CRWMachOGetDylibPath(command.bytes, command.size)),
                      name.substr(0, name.find(" (")));
        } else if (command.type == CRWMachOLoadCommandEncryptionInfo) {
            EXPECT_EQ(CRWMachOGetEncrypted(command.bytes, command.size),
                      parseNumber(fields.at("cryptid")) != 0);
        }
    }
}

std::vector<CRWMachOSliceRecord> slicesOf(const FixtureBytes& bytes, CRWMachOStatus* status = nullptr) {
    std::vector<CRWMachOSliceRecord> out;
    CRWMachOStatus result = CRWMachOEnumerateSlicesAtAddress(
        bytes.data(), bytes.size, &out, [](const CRWMachOSliceRecord* slice, void* context) {
            static_cast<std::vector<CRWMachOSliceRecord>*>(context)->push_back(*slice);
        });
    if (status) *status = result;
    return out;
}

} // namespace

TEST(CRWMachO, ThinFixturesMatchTheToolListings) {
    for (const char* name : {"arm64_exec", "libfixture.dylib", "armv7s_header", "arm64e_header"}) {
        const FixtureBytes bytes = readFixture(name);
        const std::vector<CRWMachOSliceRecord> slices = slicesOf(bytes);
        ASSERT_EQ(slices.size(), 1u) << name;
        EXPECT_EQ(slices[0].startAddress, reinterpret_cast<uintptr_t>(bytes.data()));
        expectSliceMatchesListing(slices[0], std::string(name) + ".otool");
    }
}

TEST(CRWMachO, FatFixtureSlicesFollowTheFatHeaderInEntryOrder) {
    const FixtureBytes bytes = readFixture("fat_exec");
    CRWMachOStatus status;
    const std::vector<CRWMachOSliceRecord> slices = slicesOf(bytes, &status);
    ASSERT_EQ(status, CRWMachOStatusOK);
    const OtoolListing fat = readOtoolListing("fat_exec.fat");
    // The fat listing has no "Load command" blocks; read its architecture entries directly.
    std::istringstream in(testsupport::readFile(fixtureDirectory() / "fat_exec.fat"));
    std::vector<std::map<std::string, std::string>> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("architecture ", 0) == 0)
            entries.emplace_back();
        else if (!entries.empty()) {
            std::istringstream fields(trim(line));
            std::string key, value;
            fields >> key >> value;
            entries.back()[key] = value;
        }
    }
    ASSERT_EQ(slices.size(), entries.size());
    ASSERT_EQ(slices.size(), 2u);
    for (size_t i = 0; i < slices.size(); ++i) {
        EXPECT_EQ(static_cast<uint32_t>(slices[i].cpuType), parseNumber(entries[i]["cputype"]));
        EXPECT_EQ(static_cast<uint32_t>(slices[i].cpuSubType) & 0xFFFFFF,
                  parseNumber(entries[i]["cpusubtype"]));
        EXPECT_EQ(slices[i].startAddress - reinterpret_cast<uintptr_t>(bytes.data()),
                  parseNumber(entries[i]["offset"]));
        EXPECT_EQ(slices[i].size, parseNumber(entries[i]["size"]));
    }
    EXPECT_STREQ(CRWMachOSliceGetArchitectureName(&slices[0]), "x86_64");
    EXPECT_STREQ(CRWMachOSliceGetArchitectureName(&slices[1]), "arm64");
    expectSliceMatchesListing(slices[0], "fat_exec.x86_64.otool");
    expectSliceMatchesListing(slices[1], "fat_exec.arm64.otool");
}

TEST(CRWMachO, BinaryReportsItsSlicesAndIdentifier) {
    auto binary = CRWMachOBinary::MachOBinaryWithPath((fixtureDirectory() / "fat_exec").string());
    ASSERT_TRUE(binary);
    std::vector<std::pair<std::string, std::string>> seen;
    binary->enumerateUUIDs(
        [&](const std::string& uuid, const std::string& arch) { seen.emplace_back(uuid, arch); });
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].second, "x86_64");
    EXPECT_EQ(seen[1].second, "arm64");
    EXPECT_EQ(seen[1].first,
              toolUUID(readOtoolListing("fat_exec.arm64.otool").commands[10].fields.at("uuid")));
    // Sorted by architecture name: arm64 before x86_64.
    const plat::SHA1Digest digest = plat::sha1(seen[1].first + seen[0].first);
    EXPECT_EQ(binary->instanceIdentifier(), plat::hexString(digest));
    ASSERT_NE(binary->sliceForArchitecture("arm64"), nullptr);
    EXPECT_EQ(binary->sliceForArchitecture("arm64")->linkedDylibs(),
              (std::vector<std::string>{"@rpath/libfixture.dylib", "/usr/lib/libSystem.B.dylib"}));
    EXPECT_EQ(binary->sliceForArchitecture("armv7"), nullptr);

    CRWMachOFile file;
    ASSERT_TRUE(CRWMachOFileInitWithPath(&file, (fixtureDirectory() / "fat_exec").c_str()));
    const CRWMachOSliceRecord arm64 = CRWMachOFileSliceWithArchitectureName(&file, "arm64");
    EXPECT_EQ(arm64.cpuType, CRWMachOCPUTypeARM64);
    EXPECT_EQ(CRWMachOFileSliceWithArchitectureName(&file, "ppc").startAddress, 0u);
    CRWMachOFileDestroy(&file);
    CRWMachOFileDestroy(&file);
}

TEST(CRWMachO, HeaderOnlyFixturesGiveVersionsUUIDAndEncryption) {
    auto armv7s = CRWMachOBinary::MachOBinaryWithPath((fixtureDirectory() / "armv7s_header").string());
    ASSERT_TRUE(armv7s);
    const CRWMachOSlice& slice = armv7s->slices().at(0);
    EXPECT_EQ(slice.architectureName(), "armv7s");
    EXPECT_EQ(slice.uuid(), "00112233445566778899aabbccddeeff");
    EXPECT_EQ(CRWMachOFormatVersion(&*slice.minimumOSVersion()), "9.2.1");
    EXPECT_EQ(CRWMachOFormatVersion(&*slice.linkedSDKVersion()), "10.3.0");

    auto arm64e = CRWMachOBinary::MachOBinaryWithPath((fixtureDirectory() / "arm64e_header").string());
    ASSERT_TRUE(arm64e);
    EXPECT_EQ(arm64e->slices().at(0).architectureName(), "arm64e");
    EXPECT_EQ(CRWMachOFormatVersion(&*arm64e->slices().at(0).minimumOSVersion()), "14.5.1");
    const CRWMachOVersion packed = CRWMachOVersionFromWord(14 * 65536 + 5 * 256 + 1);
    EXPECT_EQ(CRWMachOFormatVersion(&packed), "14.5.1");
    EXPECT_EQ(CRWMachOFormatVersion(nullptr), std::nullopt);
}

TEST(CRWMachO, FilesThatCannotBeMapped) {
    testsupport::TempHome home;
    testsupport::writeFile(home.path() / "short", std::string(15, 'x'));
    CRWMachOFile file;
    EXPECT_FALSE(CRWMachOFileInitWithPath(&file, (home.path() / "short").c_str()));
    EXPECT_FALSE(CRWMachOFileInitWithPath(&file, home.path().c_str()));
    EXPECT_FALSE(CRWMachOFileInitWithPath(&file, (home.path() / "missing").c_str()));
    EXPECT_EQ(file.fd, -1);
    EXPECT_FALSE(CRWMachOBinary::MachOBinaryWithPath((home.path() / "missing").string()));
}

TEST(CRWMachO, UnknownMagicHasNoCommandsAndNoCPU) {
    uint64_t words[8] = {0x12345678, 0, 0, 0, 0, 0, 0, 0};
    const CRWMachOSliceRecord slice = CRWMachOSliceWithHeader(words, sizeof words);
    EXPECT_EQ(slice.cpuType, 0);
    CRWMachOStatus status;
    EXPECT_TRUE(commandsOf(slice, &status).empty());
    EXPECT_EQ(status, CRWMachOStatusOK);
    EXPECT_STREQ(CRWMachOSliceGetArchitectureName(&slice), "unknown");
}

// Hostile headers: every damage ends in a status, never in a read past the bytes (the sanitizers
// watch the reads; each case works on an exact-size heap copy).
TEST(CRWMachO, HostileHeadersEndInErrors) {
    const FixtureBytes good = readFixture("arm64_exec");
    ASSERT_GT(good.size, 32u + 1448u);
    const uint32_t firstSize = 72; // __PAGEZERO
    auto damaged = [&](auto&& edit, uint64_t size) {
        std::vector<uint8_t> copy(good.data(), good.data() + good.size);
        edit(copy.data());
        copy.resize(size);
        copy.shrink_to_fit();
        CRWMachOStatus status;
        commandsOf(CRWMachOSliceWithHeader(copy.data(), copy.size()), &status);
        return status;
    };
    auto put = [](uint8_t* at, uint32_t value) { std::memcpy(at, &value, 4); };
    EXPECT_EQ(damaged([&](uint8_t* b) { put(b + 32 + 4, 0); }, good.size), CRWMachOStatusBadCommandSize);
    EXPECT_EQ(damaged([&](uint8_t* b) { put(b + 32 + 4, 0xFFFFFFF0); }, good.size),
              CRWMachOStatusBadCommandSize);
    EXPECT_EQ(damaged([&](uint8_t* b) { put(b + 32 + 4, firstSize + 2); }, good.size),
              CRWMachOStatusBadCommandSize);
    EXPECT_EQ(damaged([&](uint8_t* b) { put(b + 16, 0xFFFFFFFF); }, good.size), CRWMachOStatusTruncated);
    EXPECT_EQ(damaged([&](uint8_t* b) { put(b + 20, 0xFFFFFFFF); }, good.size), CRWMachOStatusTruncated);
    for (uint64_t cut = 0; cut < 32 + 1448; ++cut) {
        const CRWMachOStatus status = damaged([](uint8_t*) {}, cut);
        EXPECT_TRUE(status == CRWMachOStatusOK || status == CRWMachOStatusTruncated) << cut;
        if (cut >= 32) {
            EXPECT_EQ(status, CRWMachOStatusTruncated) << cut;
        }
    }
    CRWMachOSection section;
    std::vector<uint8_t> header(good.data(), good.data() + 100);
    EXPECT_FALSE(CRWMachOSliceInitSectionByName(
        &(const CRWMachOSliceRecord&)CRWMachOSliceWithHeader(header.data(), 100), "__TEXT", "__text",
        &section));
}

TEST(CRWMachO, HostileFatHeadersEndInErrors) {
    const FixtureBytes good = readFixture("fat_exec");
    ASSERT_GT(good.size, 20000u);
    auto status = [&](auto&& edit, uint64_t size) {
        std::vector<uint8_t> copy(good.data(), good.data() + good.size);
        edit(copy.data());
        copy.resize(size);
        copy.shrink_to_fit();
        std::vector<CRWMachOSliceRecord> out;
        return CRWMachOEnumerateSlicesAtAddress(copy.data(), copy.size(), &out,
                                                [](const CRWMachOSliceRecord*, void*) {});
    };
    auto putBig = [](uint8_t* at, uint32_t v) {
        at[0] = v >> 24, at[1] = v >> 16, at[2] = v >> 8, at[3] = v;
    };
    EXPECT_EQ(status([&](uint8_t* b) { putBig(b + 4, 0x10000000); }, good.size), CRWMachOStatusTruncated);
    EXPECT_EQ(status([&](uint8_t* b) { putBig(b + 8 + 8, 0xFFFFFF00); }, good.size),
              CRWMachOStatusBadFatEntry);
    EXPECT_EQ(status([&](uint8_t* b) { putBig(b + 8 + 12, 0xFFFFFF00); }, good.size),
              CRWMachOStatusBadFatEntry);
    EXPECT_EQ(status([](uint8_t*) {}, 30), CRWMachOStatusTruncated);
    EXPECT_EQ(status([](uint8_t*) {}, 6), CRWMachOStatusTruncated);
    EXPECT_EQ(status([](uint8_t*) {}, 20000), CRWMachOStatusBadFatEntry); // second slice cut off
}

TEST(CRWdSYM, OpensASymbolBundleAroundItsBinary) {
    testsupport::TempHome home;
    const std::filesystem::path bundle = home.path() / "Velmora.app.dSYM";
    testsupport::writeFile(bundle / "Contents" / "Info.plist",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
                           "<key>CFBundleIdentifier</key><string>com.apple.xcode.dsym.io.velmora.mac</string>"
                           "<key>CFBundleVersion</key><string>310</string>"
                           "<key>CFBundleShortVersionString</key><string>3.1</string></dict></plist>\n");
    std::filesystem::create_directories(bundle / "Contents" / "Resources" / "DWARF");
    std::filesystem::copy_file(fixtureDirectory() / "fat_exec",
                               bundle / "Contents" / "Resources" / "DWARF" / "Velmora");
    auto symbols = CRWdSYM::dSYMWithURL(bundle);
    ASSERT_TRUE(symbols);
    EXPECT_EQ(symbols->bundleIdentifier(), "io.velmora.mac");
    EXPECT_EQ(symbols->bundleVersion(), "310");
    EXPECT_EQ(symbols->shortBundleVersion(), "3.1");
    EXPECT_EQ(symbols->executableURL().filename(), "Velmora");
    int slices = 0;
    symbols->enumerateUUIDs(
        [&](const std::string& uuid, const std::string&) { slices += uuid.size() == 32; });
    EXPECT_EQ(slices, 2);

    EXPECT_FALSE(CRWdSYM::dSYMWithURL(home.path() / "missing.dSYM"));
    std::filesystem::remove_all(bundle / "Contents" / "Resources" / "DWARF");
    EXPECT_FALSE(CRWdSYM::dSYMWithURL(bundle));
    EXPECT_EQ(CRWCodeMapping::mappingWithURL(bundle)->URL(), bundle);
}
