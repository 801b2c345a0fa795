// The audio path of the test plug-ins allocates nothing, also when it records
// violations; and the allocation counter that checks this counts what it should.

#include "RawHost.h"

#include "testplugin/TestPluginHandle.h"
#include "testsupport/AllocationCounter.h"
#include "testsupport/LockCounter.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace {

using rawhost::Session;
using testplugin::TestPluginHandle;
using testsupport::AllocationCounter;

TEST(AllocationCounterTest, CountsAllocationsOnTheConstructingThreadOnly) {
    AllocationCounter counter;
    EXPECT_EQ(counter.count(), 0u);
    auto single = std::make_unique<int>(1);
    auto array = std::make_unique<int[]>(16);
    EXPECT_EQ(counter.count(), 2u);
    std::thread other([] { auto elsewhere = std::make_unique<int>(2); });
    other.join();
    // std::thread allocates its state here; the other thread's own allocation is not counted.
    const std::size_t afterThread = counter.count();
    AllocationCounter nested;
    auto more = std::make_unique<int>(3);
    EXPECT_EQ(nested.count(), 1u);
    EXPECT_EQ(counter.count(), afterThread + 1);
}

#if defined(__linux__)
TEST(AllocationCounterTest, TheLockCounterCountsMutexAndReaderWriterLocksOfItsThreadOnly) {
    testsupport::LockCounter counter;
    std::mutex mutex;
    std::shared_mutex shared;
    { std::lock_guard lock(mutex); }
    { std::shared_lock lock(shared); }
    EXPECT_EQ(counter.count(), 2u);
    std::thread other([&] { std::lock_guard lock(mutex); });
    other.join();
    EXPECT_EQ(counter.count(), 2u);
}
#endif

TEST(AudioPath, ProcessAllocatesNothing) {
    // TestTwoWay also changes its program, takes a choice and reports a new latency.
    for (const char* bundle : {"TestSeparate", "TestTwoWay"}) {
        TestPluginHandle handle(bundle);
        Session session(bundle);
        ASSERT_TRUE(session.bringUp(48000.0, 512)) << bundle;
        session.inputChanges.add(1, 0, 0.5);
        session.process(512); // first block outside the count, as hosts warm up
        session.inputChanges.add(5, 0, 0.5);
        session.inputChanges.add(6, 0, 1.0);
        handle.probe().reportLatencyFromProcessor(300);
        AllocationCounter counter;
        for (int block = 0; block < 16; ++block)
            session.process(512);
        EXPECT_EQ(counter.count(), 0u) << bundle;
        EXPECT_EQ(handle.probe().processCount(), 17) << bundle;
    }
}

TEST(AudioPath, RecordingProcessViolationsAllocatesNothing) {
    TestPluginHandle handle("TestSeparate");
    Session session("TestSeparate");
    ASSERT_TRUE(session.bringUp(48000.0, 256));
    AllocationCounter counter;
    for (int block = 0; block < 100; ++block) // more than the violation slots hold
        session.process(512);
    EXPECT_EQ(counter.count(), 0u);
    const auto violations = handle.probe().violations();
    ASSERT_EQ(violations.size(), 65u);
    EXPECT_EQ(violations.back(), "36 more violations inside process were not kept");
}

} // namespace
