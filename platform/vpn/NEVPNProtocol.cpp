#include "platform/vpn/NEVPNProtocol.h"

#include "platform/vpn/ProfileFields.h"

namespace plat {

using namespace profile_fields;

namespace {
constexpr const char* kType = "type";
constexpr const char* kTypeIPSec = "IPSec";
constexpr const char* kTypeIKEv2 = "IKEv2";
} // namespace

Object::Dict NEVPNIKEv2SecurityAssociationParameters::toDict() const {
    return Object::Dict{{"encryptionAlgorithm", enumObject(encryption_)},
                        {"integrityAlgorithm", enumObject(integrity_)},
                        {"diffieHellmanGroup", enumObject(group_)},
                        {"lifetimeMinutes", Object(lifetimeMinutes_)}};
}

NEVPNIKEv2SecurityAssociationParameters
NEVPNIKEv2SecurityAssociationParameters::fromDict(const Object& dict) {
    NEVPNIKEv2SecurityAssociationParameters p;
    p.encryption_ = readEnum(dict, "encryptionAlgorithm", p.encryption_);
    p.integrity_ = readEnum(dict, "integrityAlgorithm", p.integrity_);
    p.group_ = readEnum(dict, "diffieHellmanGroup", p.group_);
    p.lifetimeMinutes_ = readInt(dict, "lifetimeMinutes", p.lifetimeMinutes_);
    return p;
}

Object::Dict NEVPNProtocol::toDict() const {
    Object::Dict d;
    writeOptional(d, "serverAddress", serverAddress_);
    writeOptional(d, "username", username_);
    writeOptional(d, "passwordReference", passwordReference_);
    d["disconnectOnSleep"] = Object(disconnectOnSleep_);
    d["includeAllNetworks"] = Object(includeAllNetworks_);
    d["excludeLocalNetworks"] = Object(excludeLocalNetworks_);
    return d;
}

void NEVPNProtocol::readDict(const Object& dict) {
    serverAddress_ = readString(dict, "serverAddress");
    username_ = readString(dict, "username");
    passwordReference_ = readData(dict, "passwordReference");
    disconnectOnSleep_ = readBool(dict, "disconnectOnSleep", false);
    includeAllNetworks_ = readBool(dict, "includeAllNetworks", false);
    excludeLocalNetworks_ = readBool(dict, "excludeLocalNetworks", false);
}

std::shared_ptr<NEVPNProtocol> NEVPNProtocol::fromDict(const Object& dict) {
    if (!dict.isDict()) return nullptr;
    std::optional<std::string> type = readString(dict, kType);
    std::shared_ptr<NEVPNProtocol> protocol;
    if (type == kTypeIKEv2)
        protocol = std::make_shared<NEVPNProtocolIKEv2>();
    else if (type == kTypeIPSec)
        protocol = std::make_shared<NEVPNProtocolIPSec>();
    else
        return nullptr;
    protocol->readDict(dict);
    return protocol;
}

Object::Dict NEVPNProtocolIPSec::toDict() const {
    Object::Dict d = NEVPNProtocol::toDict();
    d[kType] = Object(kTypeIPSec);
    d["authenticationMethod"] = enumObject(authenticationMethod_);
    d["useExtendedAuthentication"] = Object(useExtendedAuthentication_);
    writeOptional(d, "sharedSecretReference", sharedSecretReference_);
    writeOptional(d, "localIdentifier", localIdentifier_);
    writeOptional(d, "remoteIdentifier", remoteIdentifier_);
    return d;
}

void NEVPNProtocolIPSec::readDict(const Object& dict) {
    NEVPNProtocol::readDict(dict);
    authenticationMethod_ = readEnum(dict, "authenticationMethod", NEVPNIKEAuthenticationMethod::None);
    useExtendedAuthentication_ = readBool(dict, "useExtendedAuthentication", false);
    sharedSecretReference_ = readData(dict, "sharedSecretReference");
    localIdentifier_ = readString(dict, "localIdentifier");
    remoteIdentifier_ = readString(dict, "remoteIdentifier");
}

Object::Dict NEVPNProtocolIKEv2::toDict() const {
    Object::Dict d = NEVPNProtocolIPSec::toDict();
    d[kType] = Object(kTypeIKEv2);
    d["IKESecurityAssociationParameters"] = Object(ike_.toDict());
    d["childSecurityAssociationParameters"] = Object(child_.toDict());
    d["deadPeerDetectionRate"] = enumObject(deadPeerDetectionRate_);
    d["certificateType"] = enumObject(certificateType_);
    d["disableMOBIKE"] = Object(disableMOBIKE_);
    d["enablePFS"] = Object(enablePFS_);
    return d;
}

void NEVPNProtocolIKEv2::readDict(const Object& dict) {
    NEVPNProtocolIPSec::readDict(dict);
    ike_ = NEVPNIKEv2SecurityAssociationParameters::fromDict(dict["IKESecurityAssociationParameters"]);
    child_ = NEVPNIKEv2SecurityAssociationParameters::fromDict(dict["childSecurityAssociationParameters"]);
    deadPeerDetectionRate_ = readEnum(dict, "deadPeerDetectionRate", NEVPNIKEv2DeadPeerDetectionRate::Medium);
    certificateType_ = readEnum(dict, "certificateType", NEVPNIKEv2CertificateType::RSA);
    disableMOBIKE_ = readBool(dict, "disableMOBIKE", false);
    enablePFS_ = readBool(dict, "enablePFS", false);
}

} // namespace plat
