// The end of a process's background work: an exit first runs the queued blocks to the end; after
// the end, timers no longer fire and new blocks never start, and a block that outlives the limit is
// reported. Each case runs in a process of its own, since the end is for good.
#include "platform/dispatch/ProcessExit.h"
#include "DispatchTestHelpers.h"
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
using ::testing::AnyOf;
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
            std::atomic<bool> running{false};
            std::atomic<bool> release{false};
            std::atomic<bool> left{false};
            auto stuck = plat::DispatchQueue::serial("test.exit.stuck");
            stuck.async([&] {
                running = true;
                while (!release)
                    std::this_thread::sleep_for(1ms);
                left = true;
            });
            stuck.async([] { std::fprintf(stderr, "behind the stuck block\n"); });
            // The end comes while the block runs: one that has not started yet would never start.
            if (!dispatchtest::eventually([&running] { return running.load(); }))
                std::fprintf(stderr, "the stuck block never started\n");
            const auto scheduled = std::chrono::steady_clock::now();
            constexpr auto kTimerDelay = 200ms;
            plat::DispatchQueue::global().asyncAfter(kTimerDelay,
                                                     [] { std::fprintf(stderr, "timer fired\n"); });
            const bool ended = plat::endBackgroundWork(20ms);
            // A test held off the processor may reach the end after the timer's deadline; its firing
            // then proves nothing either way.
            if (std::chrono::steady_clock::now() - scheduled >= kTimerDelay)
                std::fprintf(stderr, "the end came after the timer's deadline\n");
            std::fprintf(stderr, ended ? "ended\n" : "gave up\n");
            std::fprintf(stderr, plat::isEndingBackgroundWork() ? "ending\n" : "not ending\n");
            plat::DispatchQueue::serial("test.exit.late").async([] { std::fprintf(stderr, "late block\n"); });
            release = true;
            if (!dispatchtest::eventually([&left] { return left.load(); }))
                std::fprintf(stderr, "the stuck block never returned\n");
            // Time for what must not happen: the timer's deadline passes, and the queue behind the
            // returned block would take its next one at once.
            std::this_thread::sleep_until(scheduled + kTimerDelay + 100ms);
            std::fflush(stderr);
            ::_exit(0);
        },
        ::testing::ExitedWithCode(0),
        AllOf(HasSubstr("1 block(s) still run"), HasSubstr("gave up\nending\n"),
              AnyOf(HasSubstr("the end came after the timer's deadline"), Not(HasSubstr("timer fired"))),
              Not(HasSubstr("late block")), Not(HasSubstr("behind the stuck block")),
              Not(HasSubstr("never started")), Not(HasSubstr("never returned"))));
}
