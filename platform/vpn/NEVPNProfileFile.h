// The simulator's lasting state under plat::paths::vpnDir(): the saved profile ("profile.plist",
// an XML property list written atomically) and whether the tunnel is up ("tunnel.plist"), so a
// second process sees the same profile and tunnel. Paths are computed on every call.
#pragma once

#include "platform/object/Object.h"

#include <filesystem>

namespace plat {

class NEVPNProfileFile {
public:
    NEVPNProfileFile() = delete;

    enum class ReadResult { missing, ok, corrupt };

    static std::filesystem::path profilePath();
    // The stored profile dictionary. A file that is not a property-list dictionary is corrupt: it
    // is moved aside (paths::moveAside) with one log line, so later reads find no profile. Temporary
    // files that killed writers left in the folder are removed first.
    static ReadResult read(Object::Dict* profile);
    // Replaces the stored profile; false when it cannot be written (the old file stays).
    static bool write(const Object::Dict& profile);
    // Deletes the stored profile; false only when a file exists and cannot be deleted.
    static bool remove();

    // Whether the tunnel was last left up.
    static bool tunnelUp();
    static void setTunnelUp(bool up);
};

} // namespace plat
