#include "keychain/Status.h"

#include <unordered_map>

namespace keychain {

const char* const KeychainErrorDomain = "io.velmora.keychain.error";

namespace {

struct Table {
    std::vector<Status> cases;
    std::unordered_map<int32_t, std::string> descriptions;
};

const Table& table() {
    static const Table* t = [] {
        auto* table = new Table;
#define VELMORA_STATUS_ROW(name, code, text)                                                                 \
    table->cases.push_back(Status(Status::name));                                                            \
    table->descriptions.emplace(code, text);
        VELMORA_KEYCHAIN_STATUS_CASES(VELMORA_STATUS_ROW)
#undef VELMORA_STATUS_ROW
        return table;
    }();
    return *t;
}

} // namespace

std::optional<Status> Status::fromRawValue(int32_t rawValue) {
    if (!table().descriptions.count(rawValue)) return std::nullopt;
    return Status(static_cast<Code>(rawValue));
}

Status Status::fromStatus(int32_t status) {
    return fromRawValue(status).value_or(Status(unexpectedError));
}

const std::vector<Status>& Status::allCases() {
    return table().cases;
}

const std::string& Status::description() const {
    return table().descriptions.at(code_);
}

plat::Object::Dict Status::errorUserInfo() const {
    return {{plat::kLocalizedDescriptionKey, plat::Object(description())}};
}

plat::Error Status::error() const {
    return plat::Error(errorDomain(), errorCode(), errorUserInfo());
}

} // namespace keychain
