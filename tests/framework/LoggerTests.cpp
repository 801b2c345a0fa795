#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "varnel/Logger.h"
#include "varnel/testing/LogCapture.h"

using varnel::LogCapture;
using varnel::Logger;

namespace {

constexpr int kThreads = 8;
constexpr int kLinesPerThread = 1000;

std::string lineText(int thread, int index) {
    return "thread " + std::to_string(thread) + " line " + std::to_string(index) +
           " padding-to-make-tearing-visible";
}

void logFromManyThreads() {
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([thread] {
            for (int index = 0; index < kLinesPerThread; ++index) {
                Logger::error(lineText(thread, index));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

std::set<std::string> expectedLines() {
    std::set<std::string> expected;
    for (int thread = 0; thread < kThreads; ++thread) {
        for (int index = 0; index < kLinesPerThread; ++index) {
            expected.insert(lineText(thread, index));
        }
    }
    return expected;
}

} // namespace

TEST(LoggerConcurrency, SinkCallsNeverOverlapAndNoLineIsLost) {
    // The sink takes no lock of its own: the logger must serialise the calls.
    std::vector<std::string> received;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    Logger::setSink([&](const std::string& line) {
        if (inside.fetch_add(1) != 0) {
            overlapped = true;
        }
        received.push_back(line);
        inside.fetch_sub(1);
    });
    logFromManyThreads();
    Logger::setSink({});

    EXPECT_FALSE(overlapped);
    ASSERT_EQ(received.size(), static_cast<std::size_t>(kThreads * kLinesPerThread));
    EXPECT_EQ(std::set<std::string>(received.begin(), received.end()), expectedLines());
}

TEST(LoggerConcurrency, DefaultSinkWritesWholeLinesToStandardError) {
    ::testing::internal::CaptureStderr();
    logFromManyThreads();
    std::istringstream written(::testing::internal::GetCapturedStderr());

    std::multiset<std::string> lines;
    for (std::string line; std::getline(written, line);) {
        lines.insert(line);
    }
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesPerThread));
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expectedLines());
}

TEST(LoggerSink, EmptySinkRestoresStandardError) {
    {
        LogCapture capture;
        Logger::error("captured");
        EXPECT_EQ(capture.lines(), std::vector<std::string>{"captured"});
    }
    ::testing::internal::CaptureStderr();
    Logger::error("after capture");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "after capture\n");
}

TEST(LoggerSink, ThrowingOrReentrantSinkDoesNotStopLogging) {
    int calls = 0;
    Logger::setSink([&](const std::string& line) {
        ++calls;
        if (line == "throw") {
            throw std::runtime_error("sink failure");
        }
        Logger::error("from inside the sink");
    });
    ::testing::internal::CaptureStderr();
    Logger::error("throw");
    Logger::error("log again");
    const std::string written = ::testing::internal::GetCapturedStderr();
    Logger::setSink({});
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(written, "from inside the sink\n");
}

TEST(LogCaptureQueries, CountsMatchingLinesAndClears) {
    LogCapture capture;
    Logger::error("[VSTModule] could not load A");
    Logger::error("[VSTModule] could not load B");
    Logger::error("other");
    EXPECT_EQ(capture.count("[VSTModule]"), 2u);
    EXPECT_EQ(capture.count("load B"), 1u);
    capture.clear();
    EXPECT_TRUE(capture.lines().empty());
}
