#include "transport/TTREventTTWSupport.h"

#include "transport/TTRConsoleLogger.h"

#include "platform/foundation/Base64.h"
#include "platform/foundation/JSONSerialization.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

using Dict = plat::Object::Dict;

// The extras dictionary: an empty one without custom bytes, none (with `error`) when they do not
// hold a JSON dictionary.
std::optional<Dict> readExtras(const TTREvent& event, plat::Error* error) {
    const std::optional<plat::Data>& bytes = event.customBytes();
    if (!bytes) return Dict();
    plat::Object object = plat::JSONSerialization::jsonObject(
        std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()),
        plat::JSONSerialization::ReadingNone, error);
    if (!object.isDict()) {
        if (!object.isAbsent() && error)
            *error = plat::Error::withMessage(plat::JSONSerialization::kErrorDomain,
                                              plat::JSONSerialization::kParseErrorCode,
                                              "The custom bytes are not a JSON dictionary.");
        return std::nullopt;
    }
    return object.dict();
}

// readExtras, logging `failureMessage` with the error when the bytes do not parse.
std::optional<Dict> readExtrasOrLog(const TTREvent& event, const char* failureMessage) {
    plat::Error error;
    std::optional<Dict> extras = readExtras(event, &error);
    if (!extras) TTRLogDebug(failureMessage, error.localizedDescription());
    return extras;
}

// Writes the dictionary back; a writing failure clears the custom bytes and logs `failureMessage`.
void writeExtras(TTREvent& event, const Dict& extras, const char* failureMessage) {
    plat::Error error;
    std::optional<std::string> json =
        plat::JSONSerialization::data(plat::Object(extras), plat::JSONSerialization::WritingNone, &error);
    if (!json) {
        event.setCustomBytes(std::nullopt);
        TTRLogDebug(failureMessage, error.localizedDescription());
        return;
    }
    event.setCustomBytes(plat::toData(*json));
}

std::optional<int64_t> parseDecimal(const std::string& text) {
    double value = 0;
    auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    if (value >= 9.2e18) return INT64_MAX;
    if (value <= -9.2e18) return INT64_MIN;
    return static_cast<int64_t>(value);
}

} // namespace

bool TTREventTTWSupport::needsNetworkConnectionInfoPopulated(const TTREvent& event) {
    if (!event.customBytes()) return false;
    std::optional<Dict> extras =
        readExtrasOrLog(event, "Error when checking the event for needs_network_connection_info: %@");
    if (!extras) return false;
    auto found = extras->find(kNeedsNetworkConnectionInfoKey);
    return found != extras->end() && found->second.isNumber() && found->second.number().boolValue();
}

void TTREventTTWSupport::setNeedsNetworkConnectionInfoPopulated(TTREvent& event, bool needsPopulated) {
    std::optional<Dict> extras = readExtrasOrLog(event, "Error when setting an even'ts event_code: %@");
    if (!extras) return;
    if (needsPopulated) {
        (*extras)[kNeedsNetworkConnectionInfoKey] = plat::Object(plat::Number(true));
    } else {
        if (!event.customBytes() || extras->erase(kNeedsNetworkConnectionInfoKey) == 0) return;
    }
    writeExtras(event, *extras, "Error when setting the event for needs_network_connection_info: %@");
}

std::optional<plat::Data> TTREventTTWSupport::networkConnectionInfoData(const TTREvent& event) {
    if (!event.customBytes()) return std::nullopt;
    std::optional<Dict> extras =
        readExtrasOrLog(event, "Error when getting an event's network_connection_info: %@");
    if (!extras) return std::nullopt;
    auto found = extras->find(kNetworkConnectionInfoKey);
    if (found == extras->end() || !found->second.isString()) return std::nullopt;
    std::optional<std::vector<uint8_t>> bytes = plat::base64Decode(found->second.string());
    if (!bytes) return std::nullopt;
    return plat::Data(bytes->begin(), bytes->end());
}

void TTREventTTWSupport::setNetworkConnectionInfoData(TTREvent& event,
                                                      const std::optional<plat::Data>& data) {
    if (!data) return;
    std::optional<Dict> extras = readExtrasOrLog(event, "Error when setting an even'ts event_code: %@");
    if (!extras) return;
    (*extras)[kNetworkConnectionInfoKey] = plat::Object(plat::base64Encode(std::span<const uint8_t>(*data)));
    writeExtras(event, *extras, "Error when setting an event's network_connection_info: %@");
}

std::optional<int64_t> TTREventTTWSupport::eventCode(const TTREvent& event) {
    if (!event.customBytes()) return std::nullopt;
    std::optional<Dict> extras =
        readExtrasOrLog(event, "Error when getting an event's network_connection_info: %@");
    if (!extras) return std::nullopt;
    auto found = extras->find(kEventCodeInfoKey);
    if (found == extras->end()) return std::nullopt;
    if (!found->second.isString()) {
        TTRLogDebug("Error when getting an event's event_code: %@", std::string("the code is not a text"));
        return std::nullopt;
    }
    return parseDecimal(found->second.string());
}

void TTREventTTWSupport::setEventCode(TTREvent& event, std::optional<int64_t> eventCode) {
    if (!eventCode && !event.customBytes()) return;
    std::optional<Dict> extras = readExtrasOrLog(event, "Error when setting an event's event_code: %@");
    if (!extras) return;
    if (eventCode)
        (*extras)[kEventCodeInfoKey] = plat::Object(std::to_string(*eventCode));
    else
        extras->erase(kEventCodeInfoKey);
    const char* failure = eventCode ? "Error when setting an event's network_connection_info: %@"
                                    : "Error when setting an event's event_code: %@";
    writeExtras(event, *extras, failure);
}
