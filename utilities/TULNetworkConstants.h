// The names, error codes and message codes of the network request layer.
#pragma once

#include <cstdint>

// Errors of the layer; each carries a text under kTULNetworkErrorContext.
inline constexpr const char* kTULNetworkErrorDomain = "com.tul.network.ErrorDomain";
inline constexpr const char* kTULNetworkErrorContext = "Context";

enum TULErrorCodeNetwork : int64_t {
    TULErrorCodeNetworkInvalidURL = 1,
    TULErrorCodeNetworkSessionTaskCreation = 2,
    TULErrorCodeNetworkPayloadCompression = 3,
    TULErrorCodeNetworkInvalidResponse = 4,
    TULErrorCodeNetworkEmptyResponse = 5,
};

// The prefix of every session ID, and so of the background sessions' identifiers.
inline constexpr const char* kTULNetworkBackgroundSessionConfigIDPrefix = "com.tul.network.background-upload";
// The temporary folder: these components below Application Support.
inline constexpr const char* kTULNetworkApplicationSupportSubdirectory = "TUL/Network";
inline constexpr const char* kTULNetworkTempDirectoryName = "TULNetworkTemporaryDirectory";
// Spooled upload files are swept after this many seconds.
inline constexpr double kTULNetworkTempFolderExpireTime = 3600;
inline constexpr double kTULNetworkDefaultTimeout = 60;

inline constexpr const char* kTULNetworkLogSubsystem = "com.tessera.utilities.logger";
inline constexpr const char* kTULNetworkLogCategory = "[TULNetwork]";
inline constexpr const char* kTULNetworkLogTag = "Tessera/Utilities/Network";

// The layer's message codes, written "I-NET%06ld".
enum TULNetworkMessageCode : int64_t {
    kTULNetworkMessageCodeNetwork000 = 900000,
    kTULNetworkMessageCodeNetwork001 = 900001,
    kTULNetworkMessageCodeNetwork002 = 900002,
    kTULNetworkMessageCodeNetwork003 = 900003,
    kTULNetworkMessageCodeURLSession000 = 901000,
    kTULNetworkMessageCodeURLSession001 = 901001,
    kTULNetworkMessageCodeURLSession002 = 901002,
    kTULNetworkMessageCodeURLSession004 = 901004,
    kTULNetworkMessageCodeURLSession005 = 901005,
    kTULNetworkMessageCodeURLSession006 = 901006,
    kTULNetworkMessageCodeURLSession007 = 901007,
    kTULNetworkMessageCodeURLSession008 = 901008,
    kTULNetworkMessageCodeURLSession009 = 901009,
    kTULNetworkMessageCodeURLSession010 = 901010,
    kTULNetworkMessageCodeURLSession011 = 901011,
    kTULNetworkMessageCodeURLSession012 = 901012,
    kTULNetworkMessageCodeURLSession013 = 901013,
    kTULNetworkMessageCodeURLSession014 = 901014,
    kTULNetworkMessageCodeURLSession015 = 901015,
    kTULNetworkMessageCodeURLSession016 = 901016,
    kTULNetworkMessageCodeURLSession017 = 901017,
    kTULNetworkMessageCodeURLSession019 = 901019,
    kTULNetworkMessageCodeReachabilityChecker005 = 902005,
};
