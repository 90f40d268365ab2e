// Test helper: a minimal reader of the protocol-buffer wire format, so the crash-upload tests can
// check an uploaded body without the generated decoders they are testing.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

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

// The files of every crash report in an upload body (a batched log request), one map of file name
// to contents per report, in body order.
inline std::vector<std::map<std::string, std::string>> uploadedReportFiles(const std::string& body) {
    std::vector<std::map<std::string, std::string>> reports;
    for (const auto& [n1, logRequest] : lengthDelimitedFields(body)) {
        if (n1 != 1) continue;
        for (const auto& [n3, logEvent] : lengthDelimitedFields(logRequest)) {
            if (n3 != 3) continue;
            auto event = lengthDelimitedFields(logEvent);
            if (!event.count(6)) continue;
            auto report = lengthDelimitedFields(event.find(6)->second);
            if (!report.count(10)) continue;
            std::map<std::string, std::string> files;
            for (const auto& [n, file] : lengthDelimitedFields(report.find(10)->second)) {
                if (n != 1) continue;
                auto parts = lengthDelimitedFields(file);
                if (parts.count(1))
                    files[parts.find(1)->second] = parts.count(2) ? parts.find(2)->second : "";
            }
            reports.push_back(std::move(files));
        }
    }
    return reports;
}

} // namespace crashtest
