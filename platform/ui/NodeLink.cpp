#include "platform/ui/NodeLink.h"

#include "platform/dispatch/DispatchQueue.h"

namespace plat::ui::detail {

void NodeLink::invalidate() {
    if (!isAlive()) return;
    if (!isMainThread()) {
        // The graph belongs to the main thread; the state change is seen there one turn later.
        mainQueue().async([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->invalidate();
        });
        return;
    }
    if (markDirty_) markDirty_();
}

} // namespace plat::ui::detail
