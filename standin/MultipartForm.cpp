#include "standin/MultipartForm.h"

#include "standin/TextCase.h"

#include <algorithm>
#include <cctype>
#include <strings.h>

namespace standin {
namespace {

std::string trim(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// The value of name="..." in a Content-Disposition header value.
std::optional<std::string> dispositionName(const std::string& value) {
    const std::string lowered = lower(value);
    if (lowered.rfind("form-data", 0) != 0) return std::nullopt;
    size_t pos = 0;
    while ((pos = lowered.find("name=", pos)) != std::string::npos) {
        // Skip "filename=": the field name is the parameter called exactly "name".
        bool standalone =
            pos == 0 || lowered[pos - 1] == ';' || lowered[pos - 1] == ' ' || lowered[pos - 1] == '\t';
        pos += 5;
        if (!standalone) continue;
        if (pos < value.size() && value[pos] == '"') {
            size_t end = value.find('"', pos + 1);
            if (end == std::string::npos) return std::nullopt;
            return value.substr(pos + 1, end - pos - 1);
        }
        size_t end = value.find(';', pos);
        return trim(value.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> MultipartForm::boundaryOf(const std::string& contentType) {
    if (lower(contentType).rfind("multipart/form-data", 0) != 0) return std::nullopt;
    const std::string lowered = lower(contentType);
    size_t pos = lowered.find("boundary=");
    if (pos == std::string::npos) return std::nullopt;
    std::string boundary = contentType.substr(pos + 9);
    if (!boundary.empty() && boundary.front() == '"') {
        size_t end = boundary.find('"', 1);
        if (end == std::string::npos) return std::nullopt;
        boundary = boundary.substr(1, end - 1);
    } else {
        boundary = trim(boundary.substr(0, boundary.find(';')));
    }
    if (boundary.empty()) return std::nullopt;
    return boundary;
}

std::optional<FormFields> MultipartForm::parse(const std::string& boundary, const std::string& body) {
    const std::string delimiter = "--" + boundary;
    const std::string nextDelimiter = "\r\n" + delimiter;
    FormFields fields;

    // A preamble before the first delimiter is allowed and ignored.
    size_t pos = body.rfind(delimiter, 0) == 0 ? 0 : body.find(nextDelimiter);
    if (pos == std::string::npos) return std::nullopt;
    pos += body.compare(pos, 2, "\r\n") == 0 ? nextDelimiter.size() : delimiter.size();

    while (true) {
        if (body.compare(pos, 2, "--") == 0) return fields; // closing delimiter
        if (body.compare(pos, 2, "\r\n") != 0) return std::nullopt;
        pos += 2;

        size_t headersEnd = body.find("\r\n\r\n", pos);
        if (headersEnd == std::string::npos) return std::nullopt;
        std::optional<std::string> name;
        size_t line = pos;
        while (line < headersEnd) {
            size_t lineEnd = std::min(body.find("\r\n", line), headersEnd);
            std::string header = body.substr(line, lineEnd - line);
            size_t colon = header.find(':');
            if (colon != std::string::npos &&
                strcasecmp(trim(header.substr(0, colon)).c_str(), "Content-Disposition") == 0)
                name = dispositionName(trim(header.substr(colon + 1)));
            line = lineEnd + 2;
        }
        if (!name) return std::nullopt;

        size_t contentStart = headersEnd + 4;
        size_t contentEnd = body.find(nextDelimiter, contentStart);
        if (contentEnd == std::string::npos) return std::nullopt;
        fields.emplace_back(*name, body.substr(contentStart, contentEnd - contentStart));
        pos = contentEnd + nextDelimiter.size();
    }
}

} // namespace standin
