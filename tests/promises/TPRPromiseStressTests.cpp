// Many threads settling, observing and chaining the same promises at once. Meant to be run under
// ThreadSanitizer as well: any unguarded state shows up there as a race.
#include "PromiseTestSupport.h"

#include <thread>

using namespace promisetest;
using plat::Object;

namespace {

constexpr int kPromises = 1000;
constexpr int kThreads = 8;

struct Seen {
    int promise;
    int observer; // 0 or 1: the registration order on this thread's queue
    bool fulfilled;
    int64_t payload; // value or error code
};

} // namespace

TEST(TPRPromiseStressTest, ThousandPromisesSettledFromEightThreadsWhileObservedAndChained) {
    std::vector<TPRPromise::Ptr> promises;
    for (int i = 0; i < kPromises; ++i)
        promises.push_back(TPRPromise::pendingPromise());

    std::vector<plat::DispatchQueue> queues;
    std::vector<std::vector<Seen>> logs(kThreads); // log t is touched only on queue t
    std::vector<std::vector<TPRPromise::Ptr>> chained(kThreads);
    for (int t = 0; t < kThreads; ++t)
        queues.push_back(plat::DispatchQueue::serial("stress." + std::to_string(t)));

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const plat::DispatchQueue& queue = queues[t];
            for (int n = 0; n < kPromises; ++n) {
                const int i = (n + t * (kPromises / kThreads)) % kPromises; // each thread starts elsewhere
                const TPRPromise::Ptr& promise = promises[i];
                for (int k = 0; k < 2; ++k) {
                    promise->observeOnQueue(
                        queue,
                        [&logs, t, i, k](const Object& v) {
                            logs[t].push_back({i, k, true, intValue(v)});
                        },
                        [&logs, t, i, k](const plat::Error& e) {
                            logs[t].push_back({i, k, false, e.code});
                        });
                }
                chained[t].push_back(promise->then(queue, [](const Object& v) { return intValue(v) + 1; }));
                if ((i + t) % 3 == 0)
                    promise->reject(plat::Error("stress", t * 10000 + i));
                else
                    promise->fulfill(Object(int64_t{t} * 10000 + i));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_TRUE(TPRWaitForPromisesWithTimeout(30));

    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(logs[t].size(), size_t{2 * kPromises}) << "thread " << t;
        std::vector<int> firstSeen(kPromises, 0);
        for (const Seen& seen : logs[t]) {
            const TPRPromise::Ptr& promise = promises[seen.promise];
            ASSERT_FALSE(promise->isPending());
            EXPECT_EQ(seen.fulfilled, promise->isFulfilled());
            EXPECT_EQ(seen.payload, seen.fulfilled ? intValue(promise->value()) : promise->error()->code);
            // On one serial queue the first-registered observer of a promise runs first.
            if (seen.observer == 0)
                ++firstSeen[seen.promise];
            else
                EXPECT_EQ(firstSeen[seen.promise], 1) << "promise " << seen.promise << " on queue " << t;
        }
        for (int n = 0; n < kPromises; ++n) {
            const int i = (n + t * (kPromises / kThreads)) % kPromises;
            const TPRPromise::Ptr& result = chained[t][n];
            if (promises[i]->isFulfilled())
                EXPECT_EQ(intValue(result->value()), intValue(promises[i]->value()) + 1);
            else
                EXPECT_EQ(result->error()->code, promises[i]->error()->code);
        }
    }
}
