#include "platform/vpn/NEOnDemandRule.h"

#include "platform/vpn/ProfileFields.h"

namespace plat {

using namespace profile_fields;

Object::Dict NEOnDemandRule::toDict() const {
    return Object::Dict{{"action", enumObject(action_)},
                        {"interfaceTypeMatch", enumObject(interfaceTypeMatch_)}};
}

std::shared_ptr<NEOnDemandRule> NEOnDemandRule::fromDict(const Object& dict) {
    if (!dict.isDict()) return nullptr;
    std::shared_ptr<NEOnDemandRule> rule;
    switch (readEnum(dict, "action", NEOnDemandRuleAction::EvaluateConnection)) {
    case NEOnDemandRuleAction::Connect:
        rule = std::make_shared<NEOnDemandRuleConnect>();
        break;
    case NEOnDemandRuleAction::Disconnect:
        rule = std::make_shared<NEOnDemandRuleDisconnect>();
        break;
    case NEOnDemandRuleAction::Ignore:
        rule = std::make_shared<NEOnDemandRuleIgnore>();
        break;
    default:
        return nullptr;
    }
    rule->setInterfaceTypeMatch(readEnum(dict, "interfaceTypeMatch", NEOnDemandRuleInterfaceType::Any));
    return rule;
}

} // namespace plat
