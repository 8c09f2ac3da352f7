#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "tq/platform/handles.h"
#include "tq/platform/thread.h"

using namespace tq::platform;

TEST(HandleTable, ValuesAreNeverZeroAndRefuseStaleAndForeign)
{
    HandleTable a(1), b(2);
    int x = 0, y = 0;
    uint32_t hx = a.add(&x);
    uint32_t hy = b.add(&y);
    ASSERT_NE(hx, 0u);
    ASSERT_NE(hy, 0u);
    EXPECT_TRUE(HandleTable::looksLikeHandle(hx));
    EXPECT_GE(hx, 0x40000000u); // above the session values VISA hands out
    EXPECT_EQ(a.lookup(hx), &x);
    EXPECT_EQ(b.lookup(hy), &y);

    struct Case {
        uint32_t value;
    } refused[] = {{0}, {hy}, {hx + 1}, {hx ^ 0x00010000u}, {1}, {0x80000000u | hx}, {0xFFFFFFFFu}};
    for (const auto &c : refused)
        EXPECT_EQ(a.lookup(c.value), nullptr) << std::hex << c.value;
    EXPECT_EQ(a.add(nullptr), 0u);

    EXPECT_EQ(a.remove(hx), &x);
    EXPECT_EQ(a.lookup(hx), nullptr); // stale
    EXPECT_EQ(a.remove(hx), nullptr);
    uint32_t again = a.add(&y); // reuses the slot with a new generation
    EXPECT_NE(again, hx);
    EXPECT_EQ(a.lookup(hx), nullptr);
    EXPECT_EQ(a.lookup(again), &y);
    EXPECT_EQ(a.size(), 1u);
}

TEST(HandleTable, ManyThreadsAddAndRemoveAtOnce)
{
    HandleTable table(3);
    constexpr int kThreads = 8, kRounds = 2000;
    std::vector<int> records(kThreads);
    std::vector<std::unique_ptr<Thread>> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.push_back(std::make_unique<Thread>());
        threads.back()->start([&, t] {
            std::vector<uint32_t> mine;
            for (int r = 0; r < kRounds; ++r) {
                uint32_t h = table.add(&records[t]);
                if (h == 0 || table.lookup(h) != &records[t])
                    ++failures[t];
                mine.push_back(h);
                if (r % 3 == 2) { // release some as we go
                    if (table.remove(mine.front()) != &records[t])
                        ++failures[t];
                    mine.erase(mine.begin());
                }
            }
            for (uint32_t h : mine)
                if (table.remove(h) != &records[t])
                    ++failures[t];
        });
    }
    for (auto &t : threads)
        t->join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(table.size(), 0u);
}

TEST(HandleTable, LiveHandlesAreDistinct)
{
    HandleTable table(4);
    std::vector<int> records(1000);
    std::set<uint32_t> seen;
    for (auto &r : records)
        seen.insert(table.add(&r));
    EXPECT_EQ(seen.size(), records.size());
    EXPECT_EQ(seen.count(0), 0u);
}
