// Where each upload target's batches go. The built-in addresses are on reserved example domains and
// are assembled once, on first use; VELMORA_TESSERA_BASE (core/TSRTesseraBase.h) replaces their
// scheme, host and port on every call, so tests and the demo point all four at the stand-in.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

class TTREndpoints {
public:
    // Targets 1000 to 1003 and their upload URLs, with the address override applied.
    static std::map<int64_t, std::string> uploadURLs();
    // The target's upload URL; none for a target outside the table.
    static std::optional<std::string> uploadURLForTarget(int64_t target);
};
