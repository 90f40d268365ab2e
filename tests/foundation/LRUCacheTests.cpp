#include "platform/foundation/LRUCache.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using plat::LRUCache;

TEST(LRUCache, DropsTheLeastRecentlyUsedPastTheLimit) {
    LRUCache<std::string, int> cache(3);
    cache.setObject(1, "a");
    cache.setObject(2, "b");
    cache.setObject(3, "c");
    EXPECT_EQ(cache.objectForKey("a"), 1); // "a" is now the most recent
    cache.setObject(4, "d");               // drops "b"
    EXPECT_FALSE(cache.objectForKey("b"));
    EXPECT_EQ(cache.count(), 3u);
    cache.setObject(30, "c"); // replacing counts as a use
    cache.setObject(5, "e");  // drops "a"
    EXPECT_FALSE(cache.objectForKey("a"));
    EXPECT_EQ(cache.objectForKey("c"), 30);
    EXPECT_EQ(cache.objectForKey("d"), 4);
    EXPECT_EQ(cache.objectForKey("e"), 5);

    cache.setCountLimit(1);
    EXPECT_EQ(cache.count(), 1u);
    EXPECT_EQ(cache.objectForKey("e"), 5);
}

TEST(LRUCache, RemovalAndConditionalRemoval) {
    LRUCache<std::string, int> cache; // unlimited
    for (int i = 0; i < 100; ++i)
        cache.setObject(i, std::to_string(i));
    EXPECT_EQ(cache.count(), 100u);
    cache.removeObjectForKey("5");
    EXPECT_FALSE(cache.objectForKey("5"));
    EXPECT_FALSE(cache.removeObjectForKeyIfEqual("6", 7));
    EXPECT_EQ(cache.objectForKey("6"), 6);
    EXPECT_TRUE(cache.removeObjectForKeyIfEqual("6", 6));
    EXPECT_FALSE(cache.objectForKey("6"));
    cache.removeAllObjects();
    EXPECT_EQ(cache.count(), 0u);
}

TEST(LRUCache, StaysWithinItsLimitUnderConcurrentUse) {
    LRUCache<int, int> cache(16);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                int key = (i * 7 + t) % 64;
                cache.setObject(key * 2, key);
                // Every value read belongs to its key: no torn or crossed entries.
                int probe = (i * 3) % 64;
                if (auto v = cache.objectForKey(probe)) {
                    EXPECT_EQ(*v, probe * 2);
                }
                if (i % 100 == 0) cache.removeObjectForKey(i % 64);
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_LE(cache.count(), 16u);
}
