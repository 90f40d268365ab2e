// The tunnel protocol descriptions a personal-VPN profile carries: the common base, IPsec (IKEv1)
// and IKEv2 with its two security-association parameter sets. These are reference objects, set up
// on one thread and then handed to NEVPNManager, which copies them when it saves; properties that
// are never set keep the platform defaults given below.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace plat {

// How the tunnel authenticates the machine (before any user name and password).
enum class NEVPNIKEAuthenticationMethod : int64_t { None = 0, Certificate = 1, SharedSecret = 2 };
enum class NEVPNIKEv2EncryptionAlgorithm : int64_t {
    DES = 1,
    TripleDES = 2,
    AES128 = 3,
    AES256 = 4,
    AES128GCM = 5,
    AES256GCM = 6,
    ChaCha20Poly1305 = 7,
};
enum class NEVPNIKEv2IntegrityAlgorithm : int64_t {
    SHA96 = 1,
    SHA160 = 2,
    SHA256 = 3,
    SHA384 = 4,
    SHA512 = 5
};
// The raw value is the group number.
enum class NEVPNIKEv2DiffieHellmanGroup : int64_t {
    Invalid = 0,
    Group1 = 1,
    Group2 = 2,
    Group5 = 5,
    Group14 = 14,
    Group15 = 15,
    Group16 = 16,
    Group17 = 17,
    Group18 = 18,
    Group19 = 19,
    Group20 = 20,
    Group21 = 21,
    Group31 = 31,
    Group32 = 32,
};
enum class NEVPNIKEv2DeadPeerDetectionRate : int64_t { None = 0, Low = 1, Medium = 2, High = 3 };
enum class NEVPNIKEv2CertificateType : int64_t {
    RSA = 1,
    ECDSA256 = 2,
    ECDSA384 = 3,
    ECDSA521 = 4,
    Ed25519 = 5
};

// One set of IKEv2 security-association parameters (the IKE SA or the child SA).
class NEVPNIKEv2SecurityAssociationParameters {
public:
    NEVPNIKEv2EncryptionAlgorithm encryptionAlgorithm() const { return encryption_; }
    void setEncryptionAlgorithm(NEVPNIKEv2EncryptionAlgorithm v) { encryption_ = v; }
    NEVPNIKEv2IntegrityAlgorithm integrityAlgorithm() const { return integrity_; }
    void setIntegrityAlgorithm(NEVPNIKEv2IntegrityAlgorithm v) { integrity_ = v; }
    NEVPNIKEv2DiffieHellmanGroup diffieHellmanGroup() const { return group_; }
    void setDiffieHellmanGroup(NEVPNIKEv2DiffieHellmanGroup v) { group_ = v; }
    int64_t lifetimeMinutes() const { return lifetimeMinutes_; }
    void setLifetimeMinutes(int64_t v) { lifetimeMinutes_ = v; }

    Object::Dict toDict() const;
    static NEVPNIKEv2SecurityAssociationParameters fromDict(const Object& dict);

private:
    NEVPNIKEv2EncryptionAlgorithm encryption_ = NEVPNIKEv2EncryptionAlgorithm::AES256;
    NEVPNIKEv2IntegrityAlgorithm integrity_ = NEVPNIKEv2IntegrityAlgorithm::SHA256;
    NEVPNIKEv2DiffieHellmanGroup group_ = NEVPNIKEv2DiffieHellmanGroup::Group14;
    int64_t lifetimeMinutes_ = 1440;
};

// What every tunnel protocol has: the server, the user and the traffic switches.
class NEVPNProtocol {
public:
    virtual ~NEVPNProtocol() = default;

    const std::optional<std::string>& serverAddress() const { return serverAddress_; }
    void setServerAddress(std::optional<std::string> v) { serverAddress_ = std::move(v); }
    const std::optional<std::string>& username() const { return username_; }
    void setUsername(std::optional<std::string> v) { username_ = std::move(v); }
    // A persistent keychain reference to the password item.
    const std::optional<Data>& passwordReference() const { return passwordReference_; }
    void setPasswordReference(std::optional<Data> v) { passwordReference_ = std::move(v); }
    bool disconnectOnSleep() const { return disconnectOnSleep_; }
    void setDisconnectOnSleep(bool v) { disconnectOnSleep_ = v; }
    // All traffic through the tunnel (nothing leaks while it is down).
    bool includeAllNetworks() const { return includeAllNetworks_; }
    void setIncludeAllNetworks(bool v) { includeAllNetworks_ = v; }
    // Local-network traffic stays outside the tunnel.
    bool excludeLocalNetworks() const { return excludeLocalNetworks_; }
    void setExcludeLocalNetworks(bool v) { excludeLocalNetworks_ = v; }

    // The stored form, with a "type" entry naming the protocol.
    virtual Object::Dict toDict() const;
    // The protocol a stored form describes; none for an unknown type or a form that is not a
    // dictionary. Entries of the wrong kind read as their defaults.
    static std::shared_ptr<NEVPNProtocol> fromDict(const Object& dict);

protected:
    virtual void readDict(const Object& dict);

private:
    std::optional<std::string> serverAddress_;
    std::optional<std::string> username_;
    std::optional<Data> passwordReference_;
    bool disconnectOnSleep_ = false;
    bool includeAllNetworks_ = false;
    bool excludeLocalNetworks_ = false;
};

// IPsec with IKE: machine authentication and identifiers.
class NEVPNProtocolIPSec : public NEVPNProtocol {
public:
    NEVPNIKEAuthenticationMethod authenticationMethod() const { return authenticationMethod_; }
    void setAuthenticationMethod(NEVPNIKEAuthenticationMethod v) { authenticationMethod_ = v; }
    // User name and password (EAP for IKEv2) on top of the machine authentication.
    bool useExtendedAuthentication() const { return useExtendedAuthentication_; }
    void setUseExtendedAuthentication(bool v) { useExtendedAuthentication_ = v; }
    const std::optional<Data>& sharedSecretReference() const { return sharedSecretReference_; }
    void setSharedSecretReference(std::optional<Data> v) { sharedSecretReference_ = std::move(v); }
    const std::optional<std::string>& localIdentifier() const { return localIdentifier_; }
    void setLocalIdentifier(std::optional<std::string> v) { localIdentifier_ = std::move(v); }
    const std::optional<std::string>& remoteIdentifier() const { return remoteIdentifier_; }
    void setRemoteIdentifier(std::optional<std::string> v) { remoteIdentifier_ = std::move(v); }

    Object::Dict toDict() const override;

protected:
    void readDict(const Object& dict) override;

private:
    NEVPNIKEAuthenticationMethod authenticationMethod_ = NEVPNIKEAuthenticationMethod::None;
    bool useExtendedAuthentication_ = false;
    std::optional<Data> sharedSecretReference_;
    std::optional<std::string> localIdentifier_;
    std::optional<std::string> remoteIdentifier_;
};

// IKEv2: the security-association parameters and the IKEv2 switches.
class NEVPNProtocolIKEv2 : public NEVPNProtocolIPSec {
public:
    NEVPNIKEv2SecurityAssociationParameters& IKESecurityAssociationParameters() { return ike_; }
    const NEVPNIKEv2SecurityAssociationParameters& IKESecurityAssociationParameters() const { return ike_; }
    NEVPNIKEv2SecurityAssociationParameters& childSecurityAssociationParameters() { return child_; }
    const NEVPNIKEv2SecurityAssociationParameters& childSecurityAssociationParameters() const {
        return child_;
    }
    NEVPNIKEv2DeadPeerDetectionRate deadPeerDetectionRate() const { return deadPeerDetectionRate_; }
    void setDeadPeerDetectionRate(NEVPNIKEv2DeadPeerDetectionRate v) { deadPeerDetectionRate_ = v; }
    NEVPNIKEv2CertificateType certificateType() const { return certificateType_; }
    void setCertificateType(NEVPNIKEv2CertificateType v) { certificateType_ = v; }
    bool disableMOBIKE() const { return disableMOBIKE_; }
    void setDisableMOBIKE(bool v) { disableMOBIKE_ = v; }
    // Perfect forward secrecy for the child SAs.
    bool enablePFS() const { return enablePFS_; }
    void setEnablePFS(bool v) { enablePFS_ = v; }

    Object::Dict toDict() const override;

protected:
    void readDict(const Object& dict) override;

private:
    NEVPNIKEv2SecurityAssociationParameters ike_;
    NEVPNIKEv2SecurityAssociationParameters child_;
    NEVPNIKEv2DeadPeerDetectionRate deadPeerDetectionRate_ = NEVPNIKEv2DeadPeerDetectionRate::Medium;
    NEVPNIKEv2CertificateType certificateType_ = NEVPNIKEv2CertificateType::RSA;
    bool disableMOBIKE_ = false;
    bool enablePFS_ = false;
};

} // namespace plat
