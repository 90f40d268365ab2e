// One request as the stand-in's routes see it: method, path, query, header fields in their case,
// the raw body and the form fields decoded from a multipart body. Plain data, no HTTP library types.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standin {

struct StandinRequest {
    std::string method;
    std::string path;                               // without the query, e.g. "/api/users/me"
    std::string query;                              // the text after '?', undecoded; empty when there is none
    std::multimap<std::string, std::string> params; // decoded query parameters
    std::vector<std::pair<std::string, std::string>> headers;             // names in the case the client sent
    std::string body;                                                     // the body bytes as received
    std::optional<std::vector<std::pair<std::string, std::string>>> form; // multipart fields, in order
    std::vector<std::string> captures; // the sub-matches of the route pattern that matched

    // The value of the first header named `name` (case-insensitive); empty when absent.
    std::string header(const std::string& name) const;
    bool hasHeader(const std::string& name) const;
    // The first query parameter named `name`; empty when absent.
    std::string param(const std::string& name) const;
    // The first form field named `name`, or nothing when the body had no such field.
    std::optional<std::string> field(const std::string& name) const;
};

} // namespace standin
