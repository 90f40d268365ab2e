// The text form of a JSON value, as JSON::rawString gives it: scalars as their plain text (a string
// without quotes), arrays and dictionaries through the serialiser, or, when the options ask for
// absent elements cast to null, through this writer's own recursion under a depth budget. A failure
// gives none; a depth budget below 1 also prints the reason on standard output. Stateless between
// calls; any thread.
#pragma once

#include "json/JSONWritingOptions.h"

#include <cstdint>
#include <optional>
#include <string>

namespace plat {
class Object;
} // namespace plat

class JSON;

class JSONTextWriter {
public:
    // `value` in `encoding`, arrays and dictionaries written by the serialiser with `writingOptions`
    // under the default depth budget.
    static std::optional<std::string> text(const JSON& value, StringEncoding encoding,
                                           unsigned writingOptions);
    // `value` written as `options` say (see JSONWritingOptions.h for the keys and defaults).
    static std::optional<std::string> text(const JSON& value, const JSONWritingOptions& options);

private:
    JSONTextWriter(StringEncoding encoding, const JSONWritingOptions& options);

    static std::optional<std::string> writeReportingFailure(const JSON& value, StringEncoding encoding,
                                                            const JSONWritingOptions& options,
                                                            int64_t budget);
    // Throws JSONException(invalidJSON) for a budget below 1; every other failure is none.
    std::optional<std::string> write(const JSON& value, int64_t budget, int64_t level) const;
    std::optional<std::string> nested(const plat::Object& element, int64_t budget, int64_t level) const;

    StringEncoding encoding_;
    const JSONWritingOptions& options_;
};
