// An HTTP reply as the upload operation passes it on: the response (absent when there was none) and
// the body bytes (absent when there were none). Immutable; travels through promises as an opaque
// object (asObject / fromObject).
#pragma once

#include "platform/net/URLRequest.h"
#include "platform/object/Object.h"

#include <memory>
#include <optional>

class TTWURLSessionDataResponse {
public:
    TTWURLSessionDataResponse(std::optional<plat::HTTPURLResponse> response, std::optional<plat::Data> body)
        : HTTPResponse_(std::move(response)), HTTPBody_(std::move(body)) {}

    const std::optional<plat::HTTPURLResponse>& HTTPResponse() const { return HTTPResponse_; }
    const std::optional<plat::Data>& HTTPBody() const { return HTTPBody_; }

    static plat::Object asObject(std::shared_ptr<const TTWURLSessionDataResponse> response) {
        return plat::Object(
            plat::Opaque::make<TTWURLSessionDataResponse>(std::move(response), "TTWURLSessionDataResponse"));
    }
    // The response an object carries; null when it carries none.
    static std::shared_ptr<const TTWURLSessionDataResponse> fromObject(const plat::Object& object) {
        const plat::Opaque& opaque = object.opaque();
        if (!opaque.as<TTWURLSessionDataResponse>()) return nullptr;
        return std::static_pointer_cast<const TTWURLSessionDataResponse>(opaque.pointer);
    }

private:
    std::optional<plat::HTTPURLResponse> HTTPResponse_;
    std::optional<plat::Data> HTTPBody_;
};
