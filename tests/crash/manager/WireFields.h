// Test helper: a minimal reader of the protocol-buffer wire format, so the crash-upload tests can
// check an uploaded body without the generated decoders they are testing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace crashtest {

// Length-delimited fields of one protocol-buffer message, by field number, in order.
inline std::multimap<uint32_t, std::string> lengthDelimitedFields(const std::string& message) {
    std::multimap<uint32_t, std::string> fields;
    size_t at = 0;
    auto varint = [&](uint64_t& value) {
        value = 0;
        for (int shift = 0; at < message.size() && shift < 64; shift += 7) {
            uint8_t byte = static_cast<uint8_t>(message[at++]);
            value |= static_cast<uint64_t>(byte & 0x7F) << shift;
            if (!(byte & 0x80)) return true;
        }
        return false;
    };
    while (at < message.size()) {
        uint64_t key = 0;
        if (!varint(key)) break;
        uint32_t type = key & 7;
        uint64_t value = 0;
        if (type == 0) {
            if (!varint(value)) break;
        } else if (type == 2) {
            if (!varint(value) || value > message.size() - at) break;
            fields.emplace(static_cast<uint32_t>(key >> 3), message.substr(at, value));
            at += value;
        } else if (type == 1) {
            at += 8;
        } else if (type == 5) {
            at += 4;
        } else {
            break;
        }
    }
    return fields;
}

} // namespace crashtest
