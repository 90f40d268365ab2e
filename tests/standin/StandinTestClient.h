// A small HTTP client for the stand-in tests: sends requests the way the application does
// (its header sets and its multipart body with the fixed boundary) and parses JSON replies.
#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace standintest {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline constexpr const char* kBoundary = "--------------------------731964205518830247196052";

struct Reply {
    int status = 0; // 0 when no reply arrived (refused, timed out)
    std::string body;
    std::string contentType;

    nlohmann::json json() const { return nlohmann::json::parse(body); }
    bool isJson() const { return nlohmann::json::accept(body); }
};

// The application's form body: one part per field, then the closing delimiter.
inline std::string applicationFormBody(const Fields& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body += std::string("--") + kBoundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n";
        body += value + "\r\n";
    }
    body += std::string("--") + kBoundary + "--\r\n";
    return body;
}

class StandinTestClient {
public:
    explicit StandinTestClient(int port, time_t readTimeoutSeconds = 5) : client_("127.0.0.1", port) {
        client_.set_read_timeout(readTimeoutSeconds, 0);
        client_.set_connection_timeout(2, 0);
    }

    void setReadTimeout(std::chrono::milliseconds timeout) { client_.set_read_timeout(timeout); }

    // GET and DELETE with the application's header set ("Cache-control", bearer when asked).
    Reply get(const std::string& path, std::optional<std::string> token = std::nullopt) {
        return wrap(client_.Get(path.c_str(), headers(token, "Cache-control")));
    }
    Reply del(const std::string& path, std::optional<std::string> token = std::nullopt) {
        return wrap(client_.Delete(path.c_str(), headers(token, "Cache-control")));
    }
    // A form post with the application's body and header set ("Cache-Control").
    Reply post(const std::string& path, const Fields& fields,
               std::optional<std::string> token = std::nullopt) {
        return postRaw(path, applicationFormBody(fields),
                       std::string("multipart/form-data; boundary=") + kBoundary, token);
    }
    Reply postRaw(const std::string& path, const std::string& body, const std::string& contentType,
                  std::optional<std::string> token = std::nullopt) {
        return wrap(client_.Post(path.c_str(), headers(token, "Cache-Control"), body, contentType.c_str()));
    }

    // Signs in and returns the token; empty when the sign-in failed.
    std::string signIn(const std::string& email, const std::string& password,
                       const std::string& uid = "uid-1") {
        Reply reply = post("/api/auth/login/email", {{"email", email},
                                                     {"email_password", password},
                                                     {"uid", uid},
                                                     {"platform", "macSA"},
                                                     {"os", "12.7.0"},
                                                     {"app_version", "1.0"},
                                                     {"device_name", "Test Machine"}});
        if (!reply.isJson()) return {};
        return reply.json().value("access_token", "");
    }

private:
    static httplib::Headers headers(const std::optional<std::string>& token, const char* cacheName) {
        httplib::Headers result{{"Accept", "application/json"}, {cacheName, "no-cache"}};
        if (token) result.emplace("Authorization", "Bearer " + *token);
        return result;
    }
    static Reply wrap(const httplib::Result& result) {
        if (!result) return {};
        return Reply{result->status, result->body, result->get_header_value("Content-Type")};
    }

    httplib::Client client_;
};

} // namespace standintest
