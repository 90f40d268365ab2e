// The keychain item calls: copy-matching, add, update and delete over dictionaries keyed by the
// constants below, answering an OSStatus. Items persist in the keychain folder (KeychainStore).
// Thread-safe, and safe against other processes writing the same store.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>

namespace plat {

using OSStatus = int32_t;

// The statuses the store answers.
inline constexpr OSStatus errSecSuccess = 0;
inline constexpr OSStatus errSecIO = -36;
inline constexpr OSStatus errSecParam = -50;
inline constexpr OSStatus errSecAllocate = -108;
inline constexpr OSStatus errSecDuplicateItem = -25299;
inline constexpr OSStatus errSecItemNotFound = -25300;
inline constexpr OSStatus errSecInteractionNotAllowed = -25308;
inline constexpr OSStatus errSecDecode = -26275;

// Item classes (values of kSecClass).
inline constexpr const char* kSecClass = "kSecClass";
inline constexpr const char* kSecClassGenericPassword = "kSecClassGenericPassword";
inline constexpr const char* kSecClassInternetPassword = "kSecClassInternetPassword";
// Cryptographic keys, stored as their exported bytes (kSecValueData) and found by tag and type.
inline constexpr const char* kSecClassKey = "kSecClassKey";

// Item attributes.
inline constexpr const char* kSecAttrAccessible = "kSecAttrAccessible";
inline constexpr const char* kSecAttrAccessControl = "kSecAttrAccessControl";
inline constexpr const char* kSecAttrAccessGroup = "kSecAttrAccessGroup";
inline constexpr const char* kSecAttrSynchronizable = "kSecAttrSynchronizable";
inline constexpr const char* kSecAttrCreationDate = "kSecAttrCreationDate";
inline constexpr const char* kSecAttrModificationDate = "kSecAttrModificationDate";
inline constexpr const char* kSecAttrDescription = "kSecAttrDescription";
inline constexpr const char* kSecAttrComment = "kSecAttrComment";
inline constexpr const char* kSecAttrCreator = "kSecAttrCreator";
inline constexpr const char* kSecAttrType = "kSecAttrType";
inline constexpr const char* kSecAttrLabel = "kSecAttrLabel";
inline constexpr const char* kSecAttrIsInvisible = "kSecAttrIsInvisible";
inline constexpr const char* kSecAttrIsNegative = "kSecAttrIsNegative";
inline constexpr const char* kSecAttrAccount = "kSecAttrAccount";
inline constexpr const char* kSecAttrService = "kSecAttrService";
inline constexpr const char* kSecAttrGeneric = "kSecAttrGeneric";
inline constexpr const char* kSecAttrSecurityDomain = "kSecAttrSecurityDomain";
inline constexpr const char* kSecAttrServer = "kSecAttrServer";
inline constexpr const char* kSecAttrProtocol = "kSecAttrProtocol";
inline constexpr const char* kSecAttrAuthenticationType = "kSecAttrAuthenticationType";
inline constexpr const char* kSecAttrPort = "kSecAttrPort";
inline constexpr const char* kSecAttrPath = "kSecAttrPath";
// Attributes of keys.
inline constexpr const char* kSecAttrApplicationTag = "kSecAttrApplicationTag";
inline constexpr const char* kSecAttrKeyType = "kSecAttrKeyType";
inline constexpr const char* kSecAttrKeyClass = "kSecAttrKeyClass";
inline constexpr const char* kSecAttrKeyTypeRSA = "kSecAttrKeyTypeRSA";
inline constexpr const char* kSecAttrKeyClassPublic = "kSecAttrKeyClassPublic";
inline constexpr const char* kSecAttrKeyClassPrivate = "kSecAttrKeyClassPrivate";

// Protocols of internet passwords (values of kSecAttrProtocol).
inline constexpr const char* kSecAttrProtocolFTP = "kSecAttrProtocolFTP";
inline constexpr const char* kSecAttrProtocolFTPAccount = "kSecAttrProtocolFTPAccount";
inline constexpr const char* kSecAttrProtocolHTTP = "kSecAttrProtocolHTTP";
inline constexpr const char* kSecAttrProtocolIRC = "kSecAttrProtocolIRC";
inline constexpr const char* kSecAttrProtocolNNTP = "kSecAttrProtocolNNTP";
inline constexpr const char* kSecAttrProtocolPOP3 = "kSecAttrProtocolPOP3";
inline constexpr const char* kSecAttrProtocolSMTP = "kSecAttrProtocolSMTP";
inline constexpr const char* kSecAttrProtocolSOCKS = "kSecAttrProtocolSOCKS";
inline constexpr const char* kSecAttrProtocolIMAP = "kSecAttrProtocolIMAP";
inline constexpr const char* kSecAttrProtocolLDAP = "kSecAttrProtocolLDAP";
inline constexpr const char* kSecAttrProtocolAppleTalk = "kSecAttrProtocolAppleTalk";
inline constexpr const char* kSecAttrProtocolAFP = "kSecAttrProtocolAFP";
inline constexpr const char* kSecAttrProtocolTelnet = "kSecAttrProtocolTelnet";
inline constexpr const char* kSecAttrProtocolSSH = "kSecAttrProtocolSSH";
inline constexpr const char* kSecAttrProtocolFTPS = "kSecAttrProtocolFTPS";
inline constexpr const char* kSecAttrProtocolHTTPS = "kSecAttrProtocolHTTPS";
inline constexpr const char* kSecAttrProtocolHTTPProxy = "kSecAttrProtocolHTTPProxy";
inline constexpr const char* kSecAttrProtocolHTTPSProxy = "kSecAttrProtocolHTTPSProxy";
inline constexpr const char* kSecAttrProtocolFTPProxy = "kSecAttrProtocolFTPProxy";
inline constexpr const char* kSecAttrProtocolSMB = "kSecAttrProtocolSMB";
inline constexpr const char* kSecAttrProtocolRTSP = "kSecAttrProtocolRTSP";
inline constexpr const char* kSecAttrProtocolRTSPProxy = "kSecAttrProtocolRTSPProxy";
inline constexpr const char* kSecAttrProtocolDAAP = "kSecAttrProtocolDAAP";
inline constexpr const char* kSecAttrProtocolEPPC = "kSecAttrProtocolEPPC";
inline constexpr const char* kSecAttrProtocolIPP = "kSecAttrProtocolIPP";
inline constexpr const char* kSecAttrProtocolNNTPS = "kSecAttrProtocolNNTPS";
inline constexpr const char* kSecAttrProtocolLDAPS = "kSecAttrProtocolLDAPS";
inline constexpr const char* kSecAttrProtocolTelnetS = "kSecAttrProtocolTelnetS";
inline constexpr const char* kSecAttrProtocolIMAPS = "kSecAttrProtocolIMAPS";
inline constexpr const char* kSecAttrProtocolIRCS = "kSecAttrProtocolIRCS";
inline constexpr const char* kSecAttrProtocolPOP3S = "kSecAttrProtocolPOP3S";

// Authentication types of internet passwords (values of kSecAttrAuthenticationType).
inline constexpr const char* kSecAttrAuthenticationTypeNTLM = "kSecAttrAuthenticationTypeNTLM";
inline constexpr const char* kSecAttrAuthenticationTypeMSN = "kSecAttrAuthenticationTypeMSN";
inline constexpr const char* kSecAttrAuthenticationTypeDPA = "kSecAttrAuthenticationTypeDPA";
inline constexpr const char* kSecAttrAuthenticationTypeRPA = "kSecAttrAuthenticationTypeRPA";
inline constexpr const char* kSecAttrAuthenticationTypeHTTPBasic = "kSecAttrAuthenticationTypeHTTPBasic";
inline constexpr const char* kSecAttrAuthenticationTypeHTTPDigest = "kSecAttrAuthenticationTypeHTTPDigest";
inline constexpr const char* kSecAttrAuthenticationTypeHTMLForm = "kSecAttrAuthenticationTypeHTMLForm";
inline constexpr const char* kSecAttrAuthenticationTypeDefault = "kSecAttrAuthenticationTypeDefault";

// The value of kSecAttrSynchronizable in a query that matches items of either state.
inline constexpr const char* kSecAttrSynchronizableAny = "kSecAttrSynchronizableAny";

// Accessibility values (kSecAttrAccessible, and the protection of an access-control object).
inline constexpr const char* kSecAttrAccessibleWhenUnlocked = "kSecAttrAccessibleWhenUnlocked";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlock = "kSecAttrAccessibleAfterFirstUnlock";
inline constexpr const char* kSecAttrAccessibleAlways = "kSecAttrAccessibleAlways";
inline constexpr const char* kSecAttrAccessibleWhenPasscodeSetThisDeviceOnly =
    "kSecAttrAccessibleWhenPasscodeSetThisDeviceOnly";
inline constexpr const char* kSecAttrAccessibleWhenUnlockedThisDeviceOnly =
    "kSecAttrAccessibleWhenUnlockedThisDeviceOnly";
inline constexpr const char* kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly =
    "kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly";
inline constexpr const char* kSecAttrAccessibleAlwaysThisDeviceOnly =
    "kSecAttrAccessibleAlwaysThisDeviceOnly";

// Search and return keys.
inline constexpr const char* kSecMatchLimit = "kSecMatchLimit";
inline constexpr const char* kSecMatchLimitOne = "kSecMatchLimitOne";
inline constexpr const char* kSecMatchLimitAll = "kSecMatchLimitAll";
inline constexpr const char* kSecReturnData = "kSecReturnData";
inline constexpr const char* kSecReturnAttributes = "kSecReturnAttributes";
inline constexpr const char* kSecReturnRef = "kSecReturnRef";
inline constexpr const char* kSecReturnPersistentRef = "kSecReturnPersistentRef";

// Values.
inline constexpr const char* kSecValueData = "kSecValueData";
inline constexpr const char* kSecValueRef = "kSecValueRef";
inline constexpr const char* kSecValuePersistentRef = "kSecValuePersistentRef";

// Use keys: accepted and passed over, since this store never needs to ask the user.
inline constexpr const char* kSecUseOperationPrompt = "kSecUseOperationPrompt";
inline constexpr const char* kSecUseAuthenticationUI = "kSecUseAuthenticationUI";
inline constexpr const char* kSecUseAuthenticationContext = "kSecUseAuthenticationContext";
inline constexpr const char* kSecUseAuthenticationUIAllow = "kSecUseAuthenticationUIAllow";
inline constexpr const char* kSecUseAuthenticationUIFail = "kSecUseAuthenticationUIFail";
inline constexpr const char* kSecUseAuthenticationUISkip = "kSecUseAuthenticationUISkip";

// Finds the items that `query` names (kSecClass is required). Without return keys nothing is
// stored in `result`; with one return key it receives that value (data, attribute dictionary or
// reference bytes); with several, one dictionary holding them; with kSecMatchLimitAll (or a number
// above one), an array of those. `result` may be null. errSecItemNotFound when nothing matches.
OSStatus SecItemCopyMatching(const Object::Dict& query, Object* result);
// Adds one item. errSecDuplicateItem when an item with the same identity exists. `result`, when
// given, receives what the return keys of `attributes` ask for.
OSStatus SecItemAdd(const Object::Dict& attributes, Object* result);
// Applies `attributesToUpdate` to every item matching `query`; all or nothing.
OSStatus SecItemUpdate(const Object::Dict& query, const Object::Dict& attributesToUpdate);
// Removes every item matching `query`.
OSStatus SecItemDelete(const Object::Dict& query);

} // namespace plat
