// The JSON value layer over untrusted replies: parsing, walking every element, typed reads,
// subscripts and writing back must neither crash nor disagree with themselves.
#include "fuzz/FuzzSupport.h"
#include "json/JSON.h"
#include "json/JSONError.h"

namespace {

// Reads `value` the ways a controller reads a reply, down to a bounded depth.
void walk(const JSON& value, int depth) {
    (void)value.stringValue();
    (void)value.intValue();
    (void)value.uInt8Value();
    (void)value.doubleValue();
    (void)value.boolValue();
    (void)value.url();
    (void)value["id"];
    (void)value[0];
    size_t seen = 0;
    for (const auto& [key, element] : value) {
        ++seen;
        if (depth < 8) walk(element, depth + 1);
    }
    fuzz::check(seen == value.count(), "iteration visits count() elements");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    JSON json;
    try {
        json = JSON(fuzz::text(data, size), plat::JSONSerialization::ReadingNone);
    } catch (const JSONException&) {
        // The parser's refusal: the error the caller sees.
        return 0;
    }
    walk(json, 0);
    (void)json.description();
    if (json.type() == JSON::Type::array || json.type() == JSON::Type::dictionary) {
        plat::Data bytes = json.rawData();
        JSON again(fuzz::text(bytes.data(), bytes.size()), plat::JSONSerialization::ReadingNone);
        fuzz::check(again == json, "written JSON reads back equal");
    }
    JSON merged = json;
    merged.merge(json);
    return 0;
}
