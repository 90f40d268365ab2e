#include "platform/ui/BuildContext.h"

namespace plat::ui::detail {

namespace {
thread_local BuildContext* currentContext = nullptr;
}

BuildContext* BuildContext::current() {
    return currentContext;
}

BuildContext::Scope::Scope(BuildContext& context) : previous_(currentContext) {
    currentContext = &context;
}

BuildContext::Scope::~Scope() {
    currentContext = previous_;
}

} // namespace plat::ui::detail
