#include "platform/security/SecTrust.h"

#include "platform/security/CryptoLibrary.h"

#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace plat {

namespace {

bool fail(std::optional<Error>* error, int64_t status, const std::string& reason) {
    if (error) *error = Error::withMessage(kOSStatusErrorDomain, status, reason);
    return false;
}

} // namespace

std::shared_ptr<SecTrust> SecTrust::createWithCertificates(std::vector<Data> certificates, std::string host) {
    if (certificates.empty()) return nullptr;
    return std::shared_ptr<SecTrust>(new SecTrust(std::move(certificates), std::move(host)));
}

bool SecTrustEvaluateWithError(const SecTrust& trust, std::optional<Error>* error) {
    initializeCryptoLibrary();
    if (error) error->reset();
    std::vector<X509*> parsed;
    auto freeAll = [&parsed] {
        for (X509* certificate : parsed)
            X509_free(certificate);
    };
    for (const Data& der : trust.certificates()) {
        const unsigned char* bytes = der.data();
        X509* certificate = der.empty() ? nullptr : d2i_X509(nullptr, &bytes, static_cast<long>(der.size()));
        if (!certificate || bytes != der.data() + der.size()) {
            X509_free(certificate);
            freeAll();
            return fail(error, errSecParam, "A certificate of the chain cannot be read.");
        }
        parsed.push_back(certificate);
    }
    if (parsed.empty()) return fail(error, errSecParam, "The chain holds no certificate.");

    X509_STORE* store = X509_STORE_new();
    STACK_OF(X509)* intermediates = sk_X509_new_null();
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    bool ready = store && intermediates && context;
    if (ready) {
        ready = trust.anchorCertificatesFile().empty()
                    ? X509_STORE_set_default_paths(store) == 1
                    : X509_STORE_load_file(store, trust.anchorCertificatesFile().c_str()) == 1;
    }
    for (size_t i = 1; ready && i < parsed.size(); ++i)
        ready = sk_X509_push(intermediates, parsed[i]) > 0;
    if (ready) ready = X509_STORE_CTX_init(context, store, parsed[0], intermediates) == 1;
    if (ready && !trust.host().empty()) {
        X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
        ready = X509_VERIFY_PARAM_set1_host(param, trust.host().c_str(), trust.host().size()) == 1;
    }
    bool trusted = false;
    std::string reason = "The trust could not be evaluated.";
    if (ready) {
        trusted = X509_verify_cert(context) == 1;
        if (!trusted) reason = X509_verify_cert_error_string(X509_STORE_CTX_get_error(context));
    }
    X509_STORE_CTX_free(context);
    sk_X509_free(intermediates);
    X509_STORE_free(store);
    freeAll();
    if (!trusted) return fail(error, errSecNotTrusted, "\"" + trust.host() + "\" is not trusted: " + reason);
    return true;
}

} // namespace plat
