// The machine's serial number, the stable seed of the application's device identifier. Sources, in
// order: $VELMORA_SERIAL_NUMBER (tests set it; an empty value means "no serial"), the firmware's
// product serial when it is readable and not a vendor placeholder, then the systemd machine id.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace plat {

class DeviceSerial {
public:
    // Where the serial is looked for; tests point the files elsewhere.
    struct Sources {
        std::optional<std::string> environmentValue;
        std::filesystem::path productSerial = "/sys/class/dmi/id/product_serial";
        std::filesystem::path machineId = "/etc/machine-id";
    };

    // The serial from the process's own sources; none when no source gives one. Reads on every call.
    static std::optional<std::string> current();
    // The serial from `sources`: the environment value as it is when set, else the first file that
    // holds a usable value (trimmed).
    static std::optional<std::string> read(const Sources& sources);

    // Whether a firmware serial is one of the fill-in texts that vendors ship instead of a number
    // ("To Be Filled By O.E.M.", "Default string", runs of one repeated character, ...).
    static bool isPlaceholder(std::string_view serial);
};

} // namespace plat
