// One instance per data folder: a second claim asks the holder to come forward instead of taking
// the folder, the files are private, a crashed holder's leftovers never block the next launch, and
// a holder that does not answer makes the claim fail rather than run a second instance.
#include "platform/appkit/SingleInstance.h"
#include "platform/dispatch/RunLoop.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using plat::SingleInstance;
using namespace std::chrono_literals;

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

TEST(SingleInstance, ASecondClaimAsksTheHolderToComeForwardAndTheFolderFreesWithIt) {
    testsupport::TempHome home;
    const auto folder = home.path() / "data";
    auto first = SingleInstance::claim(folder);
    ASSERT_EQ(first.role, SingleInstance::Role::Primary) << first.error;
    int forward = 0;
    first.instance->setActivationHandler([&] { ++forward; });

    // Private: the folder made for it, the lock file and the socket.
    EXPECT_EQ(modeOf(folder) & 0777, 0700u);
    EXPECT_EQ(modeOf(folder / SingleInstance::kLockFileName) & 0777, 0600u);
    const mode_t socket = modeOf(folder / SingleInstance::kSocketFileName);
    EXPECT_TRUE(S_ISSOCK(socket));
    EXPECT_EQ(socket & 0777, 0600u);

    for (int launch = 1; launch <= 2; ++launch) {
        auto second = SingleInstance::claim(folder);
        EXPECT_EQ(second.role, SingleInstance::Role::HandedOver) << second.error;
        EXPECT_FALSE(second.instance);
        // The holder hears of it on its main queue.
        EXPECT_TRUE(plat::RunLoop::main().runUntil([&] { return forward == launch; }, 5s));
    }
    EXPECT_EQ(first.instance->activationRequests(), 2u);

    // Once the holder is gone the next launch holds the folder.
    first.instance.reset();
    EXPECT_FALSE(std::filesystem::exists(folder / SingleInstance::kSocketFileName));
    auto next = SingleInstance::claim(folder);
    EXPECT_EQ(next.role, SingleInstance::Role::Primary) << next.error;
}

TEST(SingleInstance, LeftoversOfACrashedHolderDoNotBlockAndASilentHolderFailsTheClaim) {
    testsupport::TempHome home;
    const auto folder = home.path() / "data";
    std::filesystem::create_directories(folder);
    // A crashed holder leaves its socket file and lock file, but no lock.
    testsupport::writeFile(folder / SingleInstance::kSocketFileName, "stale");
    testsupport::writeFile(folder / SingleInstance::kLockFileName, "");
    {
        auto claim = SingleInstance::claim(folder);
        ASSERT_EQ(claim.role, SingleInstance::Role::Primary) << claim.error;
        EXPECT_TRUE(S_ISSOCK(modeOf(folder / SingleInstance::kSocketFileName)));
    }

    // A holder of the lock that does not listen: asked in vain until the patience runs out.
    const int held = ::open((folder / SingleInstance::kLockFileName).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    auto refused = SingleInstance::claim(folder, 300ms);
    EXPECT_EQ(refused.role, SingleInstance::Role::Failed);
    EXPECT_NE(refused.error.find("does not answer"), std::string::npos) << refused.error;
    // Released, the folder goes to the next claim.
    ::close(held);
    auto taken = SingleInstance::claim(folder, 300ms);
    EXPECT_EQ(taken.role, SingleInstance::Role::Primary) << taken.error;
}

} // namespace
