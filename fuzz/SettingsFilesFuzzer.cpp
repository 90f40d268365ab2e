// The settings files the application reads at every start: a defaults domain and the VPN profile.
// Whatever a file holds, reading it ends in values or in the file being treated as damaged.
#include "fuzz/FuzzSupport.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/vpn/NEVPNProfileFile.h"

#include <fstream>

namespace {

// A fresh folder for each input: damaged files are moved aside beside the original, and a folder
// of thousands of them would slow every later open.
void put(const std::filesystem::path& file, std::string_view bytes) {
    std::error_code ec;
    std::filesystem::remove_all(file.parent_path(), ec);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useTemporaryHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes = fuzz::text(data, size);

    put(plat::paths::configDir() / "fuzz.plist", bytes);
    plat::UserDefaults::resetForTesting();
    auto defaults = plat::UserDefaults::suite("fuzz");
    plat::Object::Dict values = defaults->dictionaryRepresentation();
    for (const auto& [key, value] : values)
        (void)defaults->string(key);

    put(plat::NEVPNProfileFile::profilePath(), bytes);
    plat::Object::Dict profile;
    auto result = plat::NEVPNProfileFile::read(&profile);
    fuzz::check(result != plat::NEVPNProfileFile::ReadResult::missing, "a present profile is never missing");
    return 0;
}
