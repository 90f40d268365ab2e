// Server trust: the certificate chain a server presented (DER, leaf first) and the host name it was
// asked for, evaluated against the system's certificate store with OpenSSL. Immutable after
// creation; evaluation is thread-safe.
#pragma once

#include "platform/object/Error.h"
#include "platform/object/Object.h"
#include "platform/security/SecItem.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plat {

// The status domain of trust errors, and the status of a chain that is not trusted (errSecParam
// is the store's).
inline constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";
inline constexpr OSStatus errSecNotTrusted = -67843;

class SecTrust {
public:
    // A trust of `certificates` (DER, leaf first) for `host`; none when the list is empty.
    static std::shared_ptr<SecTrust> createWithCertificates(std::vector<Data> certificates, std::string host);

    const std::vector<Data>& certificates() const { return certificates_; }
    const std::string& host() const { return host_; }
    // Where trusted roots come from: the system's store unless a test names a PEM file.
    void setAnchorCertificatesFile(std::string pemFile) { anchorsFile_ = std::move(pemFile); }
    const std::string& anchorCertificatesFile() const { return anchorsFile_; }

private:
    SecTrust(std::vector<Data> certificates, std::string host)
        : certificates_(std::move(certificates)), host_(std::move(host)) {}
    std::vector<Data> certificates_;
    std::string host_;
    std::string anchorsFile_;
};

// True when the chain leads to a trusted root, every certificate is in date and the leaf names the
// host. Otherwise false, with an error of kOSStatusErrorDomain (errSecParam for certificates that
// cannot be read, errSecNotTrusted with the reason for a chain that is not trusted).
bool SecTrustEvaluateWithError(const SecTrust& trust, std::optional<Error>* error);

} // namespace plat
