#include "standin/UploadRoutes.h"

#include "standin/ApiReplies.h"
#include "standin/UploadBodyDecoder.h"

#include "transport/proto/ttw_upload.pb.h"
#include "utilities/TULGzip.h"

#include <nlohmann/json.hpp>
#include <pb_encode.h>

#include <charconv>

namespace standin {
namespace {

// Far above any real upload (the client's whole store is capped at 20 MB).
constexpr size_t kMaxInflatedBody = 64 * 1024 * 1024;
constexpr const char* kProtobufType = "application/x-protobuf";

std::optional<int64_t> parseInteger(const std::string& text) {
    int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

StandinReply logResponse(std::optional<int64_t> waitMillis) {
    ttw_LogResponse response = ttw_LogResponse_init_zero;
    response.has_next_request_wait_millis = waitMillis.has_value();
    response.next_request_wait_millis = waitMillis.value_or(0);
    uint8_t buffer[16]; // one tag and one varint
    pb_ostream_t stream = pb_ostream_from_buffer(buffer, sizeof buffer);
    pb_encode(&stream, ttw_LogResponse_fields, &response);
    return StandinReply{200, kProtobufType,
                        std::string(reinterpret_cast<char*>(buffer), stream.bytes_written)};
}

StandinReply serveUpload(UploadService& uploads, int64_t target, const StandinRequest& request) {
    UploadRecord record;
    record.target = target;
    record.path = request.path;
    record.headers = request.headers;
    record.contentEncoding = request.header("Content-Encoding");
    record.wireSize = request.body.size();
    record.body = request.body;

    std::optional<StandinReply> refusal;
    if (!record.contentEncoding.empty()) {
        // A gzip body starts with its magic bytes; the shared inflater would also take a zlib stream.
        const bool gzipMagic = request.body.size() >= 2 && static_cast<uint8_t>(request.body[0]) == 0x1f &&
                               static_cast<uint8_t>(request.body[1]) == 0x8b;
        std::optional<plat::Data> inflated;
        if (record.contentEncoding == "gzip" && gzipMagic)
            inflated = TULGzip::tul_dataByInflatingGzippedData(request.body.data(), request.body.size(),
                                                               kMaxInflatedBody);
        if (inflated)
            record.body.assign(inflated->begin(), inflated->end());
        else
            refusal = messageReply(400, "The body does not match its Content-Encoding.");
    }
    if (!refusal) {
        record.decoded = decodeUploadBody(record.body, &record.decodeError);
        if (!record.decoded) refusal = messageReply(400, "The body is not a batched log request.");
    }
    if (!refusal && target != 1000 && request.header("X-Tessera-Api-Key").empty())
        refusal = messageReply(403, "The API key is missing.");

    StandinReply reply;
    std::optional<UploadFault> fault = refusal ? std::nullopt : uploads.takeFault(target);
    if (refusal) {
        reply = *refusal;
    } else if (!fault) {
        reply = logResponse(uploads.wait(target));
    } else {
        switch (fault->kind) {
        case UploadFault::Kind::Status:
            reply = StandinReply{fault->status, kProtobufType, ""};
            if (fault->status == 429) reply.headers.emplace_back("Retry-After", fault->retryAfter);
            break;
        case UploadFault::Kind::Drop:
            reply = logResponse(uploads.wait(target));
            reply.dropConnection = true;
            break;
        case UploadFault::Kind::Malformed:
            // A varint cut short: no log response decodes from it.
            reply = StandinReply{200, kProtobufType, std::string("\x08\xff\xff", 3)};
            break;
        case UploadFault::Kind::Redirect:
            reply = StandinReply{fault->status, "text/plain", ""};
            reply.headers.emplace_back("Location", fault->location.empty() ? UploadService::redirectedPath(target)
                                                                            : fault->location);
            break;
        }
    }
    record.status = reply.status;
    uploads.append(std::move(record));
    return reply;
}

nlohmann::json recordJson(size_t index, const UploadRecord& record) {
    nlohmann::json headers = nlohmann::json::array();
    for (const auto& [name, value] : record.headers)
        headers.push_back({{"name", name}, {"value", value}});
    nlohmann::json decoded = nullptr;
    if (record.decoded) decoded = nlohmann::json::parse(*record.decoded, nullptr, false);
    return {{"index", index},
            {"target", record.target},
            {"path", record.path},
            {"status", record.status},
            {"content_encoding", record.contentEncoding},
            {"wire_size", record.wireSize},
            {"size", record.body.size()},
            {"headers", headers},
            {"decoded", decoded},
            {"decode_error", record.decodeError}};
}

// The target parameter: none when absent or "all", an error reply when it is not a number.
bool readTarget(const StandinRequest& request, std::optional<int64_t>& target) {
    const std::string text = request.param("target");
    if (text.empty() || text == "all") return true;
    target = parseInteger(text);
    return target.has_value();
}

} // namespace

void addUploadRoutes(StandinRouter& router, UploadService& uploads) {
    for (const auto& [target, path] : UploadService::uploadPaths()) {
        // The paths hold letters, digits and slashes only, so each is its own pattern.
        const int64_t uploadTarget = target;
        router.add("POST", path, [&uploads, uploadTarget](const StandinRequest& request) {
            return serveUpload(uploads, uploadTarget, request);
        });
    }
    router.add("POST", "/v1/redirected/([0-9]+)", [&uploads](const StandinRequest& request) {
        std::optional<int64_t> target = UploadService::targetForPath(request.path);
        if (!target) return messageReply(404, "Unknown upload target.");
        return serveUpload(uploads, *target, request);
    });
}

void addUploadAdminRoutes(StandinRouter& router, UploadService& uploads) {
    router.add("GET", "/admin/upload/bodies", [&uploads](const StandinRequest& request) {
        std::optional<int64_t> target;
        if (!readTarget(request, target)) return messageReply(400, "The target must be a number.");
        nlohmann::json body = nlohmann::json::array();
        std::vector<UploadRecord> records = uploads.records();
        for (size_t i = 0; i < records.size(); ++i)
            if (!target || records[i].target == *target) body.push_back(recordJson(i, records[i]));
        return StandinReply::json(200, body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    });

    router.add("GET", "/admin/upload/body", [&uploads](const StandinRequest& request) {
        std::optional<int64_t> index = parseInteger(request.param("index"));
        std::optional<UploadRecord> record =
            index && *index >= 0 ? uploads.record(static_cast<size_t>(*index)) : std::nullopt;
        if (!record) return messageReply(404, "No upload with this index.");
        return StandinReply{200, kProtobufType, record->body};
    });

    router.add("POST", "/admin/upload/fault", [&uploads](const StandinRequest& request) {
        std::optional<UploadFault> fault = UploadFault::named(request.param("kind"));
        if (!fault)
            return messageReply(400, "The kind must be 400, 404, 429, 500, drop, malformed, redirect-301, "
                                     "redirect-302, redirect-307 or redirect-308, optionally with -once.");
        std::optional<int64_t> target;
        if (!readTarget(request, target)) return messageReply(400, "The target must be a number.");
        if (!request.param("retry-after").empty()) fault->retryAfter = request.param("retry-after");
        fault->location = request.param("location");
        uploads.setFault(target, *fault);
        return messageReply(200, "Fault armed.");
    });

    router.add("DELETE", "/admin/upload/faults", [&uploads](const StandinRequest&) {
        uploads.clearFaults();
        return messageReply(200, "Faults cleared.");
    });

    router.add("POST", "/admin/upload/wait", [&uploads](const StandinRequest& request) {
        std::optional<int64_t> target;
        if (!readTarget(request, target)) return messageReply(400, "The target must be a number.");
        const std::string ms = request.param("ms");
        std::optional<int64_t> millis = parseInteger(ms);
        if (ms != "none" && !millis) return messageReply(400, "The ms parameter must be an integer or none.");
        uploads.setWait(target, ms == "none" ? std::nullopt : millis);
        return messageReply(200, "Wait set.");
    });

    router.add("DELETE", "/admin/upload", [&uploads](const StandinRequest&) {
        uploads.reset();
        return messageReply(200, "Upload service reset.");
    });
}

} // namespace standin
