// Per-event extras of the upload, kept in an event's custom bytes as a small JSON dictionary: a
// flag asking for the network record to be filled, the 16-byte network record (Base64) and an
// event code (decimal text). Absent custom bytes mean that no extra is set; bytes that do not parse
// are logged and read as no extra, and a setter never replaces them. The upload reads the network
// record and the event code; the setters are for clients of the transport.
#pragma once

#include "transport/TTREvent.h"

#include "platform/object/Object.h"

#include <cstdint>
#include <optional>

class TTREventTTWSupport {
public:
    static constexpr const char* kNeedsNetworkConnectionInfoKey = "needs_network_connection_info";
    static constexpr const char* kNetworkConnectionInfoKey = "network_connection_info";
    static constexpr const char* kEventCodeInfoKey = "event_code_info";

    static bool needsNetworkConnectionInfoPopulated(const TTREvent& event);
    // Setting the flag keeps the other entries; clearing it removes only the flag.
    static void setNeedsNetworkConnectionInfoPopulated(TTREvent& event, bool needsPopulated);

    // The Base64-decoded network record; none when absent or unreadable.
    static std::optional<plat::Data> networkConnectionInfoData(const TTREvent& event);
    // None changes nothing.
    static void setNetworkConnectionInfoData(TTREvent& event, const std::optional<plat::Data>& data);

    // The event code (a decimal text, truncated toward zero); none when absent or not a number.
    static std::optional<int64_t> eventCode(const TTREvent& event);
    // None removes the code and keeps the other entries.
    static void setEventCode(TTREvent& event, std::optional<int64_t> eventCode);
};
