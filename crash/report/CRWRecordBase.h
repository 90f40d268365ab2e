// The three metadata sections whose values go into the report payload's top-level fields. Values
// are kept as they were read, without a type check; the payload decides how to encode each.
#pragma once

#include "platform/object/Object.h"

// The base of the section models; it does nothing with the dictionary itself.
class CRWRecordBase {
public:
    explicit CRWRecordBase(const plat::Object& /*dictionary*/) {}
};

// The "identity" section.
class CRWRecordIdentity : public CRWRecordBase {
public:
    explicit CRWRecordIdentity(const plat::Object& dictionary)
        : CRWRecordBase(dictionary), build_version(dictionary["build_version"]),
          app_health_session_id(dictionary["app_health_session_id"]) {}
    plat::Object build_version; // the crash reporter's own version
    plat::Object app_health_session_id;
};

// The "host" section.
class CRWRecordHost : public CRWRecordBase {
public:
    explicit CRWRecordHost(const plat::Object& dictionary)
        : CRWRecordBase(dictionary), platform(dictionary["platform"]) {}
    plat::Object platform;
};

// The "application" section.
class CRWRecordApplication : public CRWRecordBase {
public:
    explicit CRWRecordApplication(const plat::Object& dictionary)
        : CRWRecordBase(dictionary), build_version(dictionary["build_version"]),
          display_version(dictionary["display_version"]) {}
    plat::Object build_version;   // the bundle version
    plat::Object display_version; // the short bundle version
};
