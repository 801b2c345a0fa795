#include "realtime/AudioFailureTally.h"

#include <varnel/Logger.h>

namespace varnel::extensions::vst {

void AudioFailureTally::report(const char* head, bool withCode) {
    // Counts first, code after: the audio side publishes a run's code before its count.
    const std::uint32_t runsNow = runs.load(std::memory_order_acquire);
    const std::uint64_t failuresNow = failures.load(std::memory_order_acquire);
    const std::int32_t code = latestRunCode.load(std::memory_order_relaxed);
    // Unsigned differences stay right across wrap-around.
    const std::uint32_t newRuns = runsNow - reportedRuns;
    std::uint64_t newFailures = failuresNow - reportedFailures;
    reportedRuns = runsNow;
    reportedFailures = failuresNow;
    if (newRuns == 0 && newFailures == 0)
        return;

    std::string line = head;
    if (withCode)
        line += std::to_string(code);
    if (newRuns > 0) {
        // The first failure of the latest run; earlier runs since the last report
        // are folded into the count below.
        Logger::error(line);
        if (newFailures > 0)
            --newFailures;
    }
    if (newFailures == 0)
        return;
    if (!line.empty() && line.back() == '.')
        line.pop_back(); // the count continues the sentence
    Logger::error(line + " repeated " + std::to_string(newFailures) +
                  (newFailures == 1 ? " time" : " times") + (newRuns > 1 ? ", counting earlier runs" : ""));
}

} // namespace varnel::extensions::vst
