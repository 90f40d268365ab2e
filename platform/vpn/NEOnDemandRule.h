// Connect-on-demand rules of a personal-VPN profile: what the system does with the tunnel when a
// network interface of the matched type comes up. Reference objects like the protocols.
#pragma once

#include "platform/object/Object.h"

#include <cstdint>
#include <memory>

namespace plat {

enum class NEOnDemandRuleAction : int64_t { Connect = 1, Disconnect = 2, EvaluateConnection = 3, Ignore = 4 };
enum class NEOnDemandRuleInterfaceType : int64_t { Any = 0, Ethernet = 1, WiFi = 2, Cellular = 3 };

class NEOnDemandRule {
public:
    virtual ~NEOnDemandRule() = default;
    NEOnDemandRuleAction action() const { return action_; }
    NEOnDemandRuleInterfaceType interfaceTypeMatch() const { return interfaceTypeMatch_; }
    void setInterfaceTypeMatch(NEOnDemandRuleInterfaceType v) { interfaceTypeMatch_ = v; }

    Object::Dict toDict() const;
    // The rule a stored form describes; none for an unknown action or a form that is not a
    // dictionary.
    static std::shared_ptr<NEOnDemandRule> fromDict(const Object& dict);

protected:
    explicit NEOnDemandRule(NEOnDemandRuleAction action) : action_(action) {}

private:
    NEOnDemandRuleAction action_;
    NEOnDemandRuleInterfaceType interfaceTypeMatch_ = NEOnDemandRuleInterfaceType::Any;
};

// Bring the tunnel up.
class NEOnDemandRuleConnect : public NEOnDemandRule {
public:
    NEOnDemandRuleConnect() : NEOnDemandRule(NEOnDemandRuleAction::Connect) {}
};

// Take the tunnel down.
class NEOnDemandRuleDisconnect : public NEOnDemandRule {
public:
    NEOnDemandRuleDisconnect() : NEOnDemandRule(NEOnDemandRuleAction::Disconnect) {}
};

// Leave the tunnel as it is.
class NEOnDemandRuleIgnore : public NEOnDemandRule {
public:
    NEOnDemandRuleIgnore() : NEOnDemandRule(NEOnDemandRuleAction::Ignore) {}
};

} // namespace plat
