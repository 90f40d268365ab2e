// A failed reply of the installations REST service: the HTTP response and its body, carried inside
// an error of the installations domain (code 0) so callers can tell the status apart. Immutable;
// archivable with secure coding under "HTTPResponse" and "data".
#pragma once

#include "platform/foundation/SecureCoding.h"
#include "platform/net/URLRequest.h"
#include "platform/object/Error.h"

#include <memory>

// The user-info key under which an installations error carries its HTTP failure.
inline constexpr const char* kTSRInstallationsHTTPErrorKey = "TSRInstallationsHTTPError";

class TSRInstallationsHTTPError final : public plat::SecureCoding {
public:
    static constexpr const char* kClassName = "TSRInstallationsHTTPError";

    TSRInstallationsHTTPError(plat::HTTPURLResponse response, plat::Data data)
        : HTTPResponse_(std::move(response)), data_(std::move(data)) {}

    const plat::HTTPURLResponse& HTTPResponse() const { return HTTPResponse_; }
    const plat::Data& data() const { return data_; }

    // "The server responded with an error: \n - URL: ... \n - HTTP status code: ... \n - Response
    // body: ..." with the body read as UTF-8.
    std::string failureReason() const;
    // The error as callers receive it: installations domain, code 0, this failure's reason and the
    // failure itself under kTSRInstallationsHTTPErrorKey.
    plat::Error error() const;
    // The HTTP failure inside `error`; null for every other error, whatever its domain and code.
    static std::shared_ptr<const TSRInstallationsHTTPError> fromError(const plat::Error& error);

    std::string className() const override { return kClassName; }
    void encodeWithCoder(plat::KeyedArchiver& coder) const override;
    // Null when the archive holds no response.
    static std::shared_ptr<TSRInstallationsHTTPError> initWithCoder(plat::KeyedUnarchiver& coder);

private:
    plat::HTTPURLResponse HTTPResponse_;
    plat::Data data_;
};
