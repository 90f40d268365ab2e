// Shared pieces of the toolkit tests: a fixture that starts and ends with an empty main queue, and
// small observable models.
#pragma once

#include "platform/dispatch/RunLoop.h"
#include "platform/foundation/ObservableObject.h"
#include "platform/foundation/Published.h"
#include "platform/ui/Host.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Toolkit.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace plat {
// Readable geometry in assertion messages.
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << describe(r);
}
inline void PrintTo(const Size& s, std::ostream* os) {
    *os << describe(s);
}
inline void PrintTo(const Point& p, std::ostream* os) {
    *os << p.x << "," << p.y;
}
} // namespace plat

namespace plat::ui {
inline void PrintTo(const Font& f, std::ostream* os) {
    *os << f.description();
}
inline void PrintTo(const Color& c, std::ostream* os) {
    *os << c.description();
}
} // namespace plat::ui

namespace uitest {

class UITest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::RunLoop::main().drain();
        plat::ui::Pasteboard::resetForTesting();
    }
    void TearDown() override {
        plat::RunLoop::main().drain();
        plat::ui::Pasteboard::resetForTesting();
    }
};

// An observable model that counts its instances.
struct Model : plat::ObservableObject {
    Model() { ++made(); }
    ~Model() override { ++destroyed(); }
    plat::Published<int> value{this, 0};
    static int& made() {
        static int n = 0;
        return n;
    }
    static int& destroyed() {
        static int n = 0;
        return n;
    }
    static void reset() { made() = destroyed() = 0; }
};

} // namespace uitest
