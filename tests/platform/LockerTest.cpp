#include <KvsDataBlocks/platform/Locker.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

TEST(Locker, SerialisesThreads)
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
}

TEST(Locker, IsRecursiveAndRefusesForeignUnlock)
{
    Locker lock;
    ASSERT_TRUE(lock.Lock() && lock.Lock());
    bool foreignUnlock = true;
    std::thread([&] { foreignUnlock = lock.Unlock(); }).join();
    EXPECT_FALSE(foreignUnlock);
    EXPECT_TRUE(lock.Unlock());
    EXPECT_TRUE(lock.IsHeldByMe());
    EXPECT_TRUE(lock.Unlock());
    EXPECT_FALSE(lock.IsHeldByMe());
    EXPECT_FALSE(lock.Unlock());

    std::atomic<bool> got{false};
    std::thread([&] { got = lock.Lock() && lock.Unlock(); }).join();
    EXPECT_TRUE(got); // free again for another thread
}
