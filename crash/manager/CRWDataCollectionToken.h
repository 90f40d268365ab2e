// Proof that crash data may be collected and sent: made only where collection was found enabled
// or a send was asked for explicitly. Every upload step refuses to act without one (a null token).
#pragma once

#include <memory>

class CRWDataCollectionToken {
public:
    static std::shared_ptr<CRWDataCollectionToken> validToken() {
        return std::make_shared<CRWDataCollectionToken>();
    }
    // Every token is valid; only a missing one is not.
    static bool isValid(const std::shared_ptr<CRWDataCollectionToken>& token) { return token != nullptr; }
};
