// The start event of one session, a nanopb message filled in three stages: at construction from the
// session and the application facts, during the per-session check with the subscribers' data
// collection and the sampling rate, and by the coordinator with the installation id and token. It
// owns every byte array the message points to. Its transport bytes are the message's encoding,
// taken when the transport event receives it; nothing changes it after that. One thread at a time.
#pragma once

#include "sessions/ApplicationInfoProtocol.h"
#include "sessions/SessionInfo.h"
#include "sessions/SessionsSubscriber.h"
#include "sessions/TimeProvider.h"
#include "sessions/proto/sessions.pb.h"

#include "transport/TTREventDataObject.h"

#include <memory>
#include <string_view>

// A decoded copy of a session event; frees what decoding allocated.
class DecodedSessionEvent {
public:
    DecodedSessionEvent();
    ~DecodedSessionEvent();
    DecodedSessionEvent(const DecodedSessionEvent&) = delete;
    DecodedSessionEvent& operator=(const DecodedSessionEvent&) = delete;

    tessera_apphealth_sessions_SessionEvent message;
};

class SessionStartEvent : public TTREventDataObject {
public:
    SessionStartEvent(const SessionInfo& sessionInfo, const ApplicationInfoProtocol& appInfo,
                      const TimeProvider& time);
    ~SessionStartEvent() override;
    SessionStartEvent(const SessionStartEvent&) = delete;
    SessionStartEvent& operator=(const SessionStartEvent&) = delete;

    void setInstallationID(std::string_view installationId);
    void setAuthenticationToken(std::string_view authenticationToken);
    void setSamplingRate(double samplingRate);
    // Records one subscriber's data collection. Only Crashwatch and Performance have fields; any
    // other name changes nothing and is logged as a warning.
    void set(SessionsSubscriberName subscriber, bool isDataCollectionEnabled,
             const ApplicationInfoProtocol& appInfo);
    static tessera_apphealth_sessions_DataCollectionState
    makeDataCollectionProto(bool isDataCollectionEnabled);
    // The platform name as an OS name ("macos" is MACOS); an unknown name is UNKNOWN_OSNAME, logged.
    static tessera_apphealth_sessions_OsName convertOsName(const std::string& osName);
    // The network type as the event reports it: 0 and 1 as they are, anything else 8.
    static tessera_apphealth_sessions_NetworkType convertNetworkType(int64_t networkType);

    // The message's encoding; empty (logged) when it does not encode.
    std::optional<plat::Data> transportBytes() const override;
    // The message decoded again from its bytes, complete or partial; for the debug printing.
    std::unique_ptr<DecodedSessionEvent> encodeDecodeEvent() const;

    const tessera_apphealth_sessions_SessionEvent& proto() const { return proto_; }

private:
    tessera_apphealth_sessions_SessionEvent proto_;
};
