// The access-control policy of a keychain store: an option set over an unsigned machine word whose
// raw value goes unchanged to the access-control constructor as its flags.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace keychain {

struct AuthenticationPolicy {
    uint64_t rawValue = 0;

    constexpr AuthenticationPolicy() = default;
    constexpr explicit AuthenticationPolicy(uint64_t raw) : rawValue(raw) {}
    constexpr AuthenticationPolicy(std::initializer_list<AuthenticationPolicy> members) {
        for (auto m : members)
            rawValue |= m.rawValue;
    }

    static const AuthenticationPolicy userPresence, biometryAny, touchIDAny, biometryCurrentSet,
        touchIDCurrentSet, devicePasscode, watch, privateKeyUsage, applicationPassword;
    // The members named "or" and "and" (reserved words here).
    static const AuthenticationPolicy or_, and_;

    constexpr bool isEmpty() const { return rawValue == 0; }
    constexpr bool contains(AuthenticationPolicy m) const { return (rawValue & m.rawValue) == m.rawValue; }
    constexpr AuthenticationPolicy unionWith(AuthenticationPolicy o) const {
        return AuthenticationPolicy(rawValue | o.rawValue);
    }
    constexpr AuthenticationPolicy intersection(AuthenticationPolicy o) const {
        return AuthenticationPolicy(rawValue & o.rawValue);
    }
    constexpr AuthenticationPolicy symmetricDifference(AuthenticationPolicy o) const {
        return AuthenticationPolicy(rawValue ^ o.rawValue);
    }
    constexpr bool isSubset(AuthenticationPolicy of) const { return (rawValue & ~of.rawValue) == 0; }
    constexpr bool isSuperset(AuthenticationPolicy of) const { return of.isSubset(*this); }
    constexpr bool isDisjoint(AuthenticationPolicy with) const { return (rawValue & with.rawValue) == 0; }
    // Adds the member; true when it was not already fully present.
    constexpr bool insert(AuthenticationPolicy m) {
        bool added = !contains(m);
        rawValue |= m.rawValue;
        return added;
    }
    // Removes the member; true when any of its bits were present.
    constexpr bool remove(AuthenticationPolicy m) {
        bool had = (rawValue & m.rawValue) != 0;
        rawValue &= ~m.rawValue;
        return had;
    }
    // Adds the member; true when any of its bits were already present.
    constexpr bool update(AuthenticationPolicy m) {
        bool had = (rawValue & m.rawValue) != 0;
        rawValue |= m.rawValue;
        return had;
    }

    constexpr bool operator==(const AuthenticationPolicy&) const = default;
};

inline constexpr AuthenticationPolicy AuthenticationPolicy::userPresence(uint64_t(1) << 0);
inline constexpr AuthenticationPolicy AuthenticationPolicy::biometryAny(uint64_t(1) << 1);
inline constexpr AuthenticationPolicy AuthenticationPolicy::touchIDAny(uint64_t(1) << 1);
inline constexpr AuthenticationPolicy AuthenticationPolicy::biometryCurrentSet(uint64_t(1) << 3);
inline constexpr AuthenticationPolicy AuthenticationPolicy::touchIDCurrentSet(uint64_t(1) << 3);
inline constexpr AuthenticationPolicy AuthenticationPolicy::devicePasscode(uint64_t(1) << 4);
inline constexpr AuthenticationPolicy AuthenticationPolicy::watch(uint64_t(1) << 5);
inline constexpr AuthenticationPolicy AuthenticationPolicy::or_(uint64_t(1) << 14);
inline constexpr AuthenticationPolicy AuthenticationPolicy::and_(uint64_t(1) << 15);
inline constexpr AuthenticationPolicy AuthenticationPolicy::privateKeyUsage(uint64_t(1) << 30);
inline constexpr AuthenticationPolicy AuthenticationPolicy::applicationPassword(uint64_t(1) << 31);

} // namespace keychain
