// One device registered to the signed-in account, as the device sheet lists it. Every field is
// text as the service sends it; a missing or null key gives the empty text, and a device that never
// signed in shows "Never" as its last sign-in.
#pragma once

#include <string>

class JSON;

struct Device {
    std::string id;        // the device's identity; deletion sends it
    std::string name;      // "device_name"
    std::string os;        // "os"
    std::string platform;  // "platform", spelt as the service spells it
    std::string lastLogin; // "last_login_at", or "Never" when that is empty

    // Reads one element of the service's device list; never fails (numbers become their decimal
    // text, booleans "true" or "false").
    explicit Device(const JSON& from);
    Device(std::string id, std::string name, std::string os, std::string platform, std::string lastLogin)
        : id(std::move(id)), name(std::move(name)), os(std::move(os)), platform(std::move(platform)),
          lastLogin(std::move(lastLogin)) {}

    bool operator==(const Device&) const = default;
};
