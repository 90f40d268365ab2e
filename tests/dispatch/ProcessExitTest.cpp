// The end of a process's background work: an exit first runs the queued blocks to the end; after
// the end, timers no longer fire and new blocks never start, and a block that outlives the limit is
// reported. Each case runs in a process of its own, since the end is for good.
#include "platform/dispatch/ProcessExit.h"
#include "platform/dispatch/DispatchQueue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

TEST(ProcessExitDeathTest, ExitRunsTheQueuedBlocksToTheEndFirst) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto queue = plat::DispatchQueue::serial("test.exit.queued");
            queue.async([] {
                std::this_thread::sleep_for(20ms);
                std::fprintf(stderr, "first finished\n");
            });
            // queued by a block that was itself still waiting when exit began
            queue.async([queue] { queue.async([] { std::fprintf(stderr, "second finished\n"); }); });
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), AllOf(HasSubstr("first finished"), HasSubstr("second finished")));
}

TEST(ProcessExitDeathTest, AfterTheEndNothingFiresOrStartsAndAStuckBlockIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atomic<bool> release{false};
            auto stuck = plat::DispatchQueue::serial("test.exit.stuck");
            stuck.async([&release] {
                while (!release)
                    std::this_thread::sleep_for(1ms);
            });
            stuck.async([] { std::fprintf(stderr, "behind the stuck block\n"); });
            plat::DispatchQueue::global().asyncAfter(50ms, [] { std::fprintf(stderr, "timer fired\n"); });
            std::fprintf(stderr, plat::endBackgroundWork(20ms) ? "ended\n" : "gave up\n");
            std::fprintf(stderr, plat::isEndingBackgroundWork() ? "ending\n" : "not ending\n");
            plat::DispatchQueue::serial("test.exit.late").async([] { std::fprintf(stderr, "late block\n"); });
            release = true;
            std::this_thread::sleep_for(100ms); // past the timer's deadline
            std::fflush(stderr);
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0),
        AllOf(HasSubstr("1 block(s) still run"), HasSubstr("gave up\nending\n"),
              Not(HasSubstr("timer fired")), Not(HasSubstr("late block")),
              Not(HasSubstr("behind the stuck block"))));
}
