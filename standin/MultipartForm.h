// Decoding of multipart/form-data bodies into their named fields, as the application's form posts
// build them (one part per field, no per-part content type) and as curl -F sends them.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

using FormFields = std::vector<std::pair<std::string, std::string>>;

class MultipartForm {
public:
    // The boundary parameter of a "multipart/form-data; boundary=..." content type, without
    // quotes; nothing when the type is not multipart/form-data or names no boundary.
    static std::optional<std::string> boundaryOf(const std::string& contentType);

    // The fields of `body` in their order, or nothing when the body is not a well-formed multipart
    // body for `boundary` (missing delimiter, part without a name, no closing delimiter).
    // Parts that carry a file name are kept as fields with their bytes as the value.
    static std::optional<FormFields> parse(const std::string& boundary, const std::string& body);
};

} // namespace standin
