#include "platform/ui/AppStorage.h"

namespace plat::ui::detail {

UserDefaults::Token observeDefault(UserDefaults& defaults, const std::string& key,
                                   std::shared_ptr<NodeLink> link) {
    std::weak_ptr<NodeLink> weak = link;
    return defaults.observe([weak, key](const std::string& changed) {
        if (changed != key) return;
        if (auto l = weak.lock()) l->invalidate();
    });
}

} // namespace plat::ui::detail
