// Runs a block exactly once across threads; later callers wait until the first call finished.
#pragma once

#include <mutex>

namespace plat {

class Once {
public:
    template <typename F> void operator()(F&& f) { std::call_once(flag_, std::forward<F>(f)); }

private:
    std::once_flag flag_;
};

} // namespace plat
