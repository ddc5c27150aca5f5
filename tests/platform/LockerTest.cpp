#include <KvsDataBlocks/platform/Locker.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

TEST(Locker, SerialisesThreadsIsRecursiveAndRefusesForeignUnlock)
{
    Locker lock;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000 && lock.Lock(); ++i, lock.Unlock()) counter = counter + 1;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 8000);
    ASSERT_TRUE(lock.Lock() && lock.Lock());
    bool foreignUnlock = true;
    std::thread([&] { foreignUnlock = lock.Unlock(); }).join();
    EXPECT_FALSE(foreignUnlock);
    // Held twice: the first unlock keeps it, the second frees it, a third has nothing to free.
    EXPECT_EQ((std::vector<bool>{lock.Unlock(), lock.IsHeldByMe(), lock.Unlock(), lock.IsHeldByMe(), lock.Unlock()}),
              (std::vector<bool>{true, true, true, false, false}));

    std::atomic<bool> got{false};
    std::thread([&] { got = lock.Lock() && lock.Unlock(); }).join();
    EXPECT_TRUE(got); // free again for another thread
}
