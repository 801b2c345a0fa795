// Per-block cost of VSTModule::process against the direct IAudioProcessor::process
// call on the same plug-in, measured in the same run; for a mono-only plug-in, which
// the wrapper runs as two instances, against two direct calls. Prints the ratio and the
// overhead per block for each plug-in and block size.
#include "DirectHost.h"
#include "VSTModule.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

using varnel::extensions::vst::VSTModule;
using varnel::extensions::vst::VSTProcessingMode;

namespace {

struct Subject {
    std::string name;
    std::string path;
    bool dualMono = false; // the baseline is then two mono instances, one per channel
};

std::vector<Subject> subjects() {
    std::vector<Subject> list{{"ZamCompX2", "/usr/lib/vst3/ZamCompX2.vst3"},
                              {"ZamEQ2-dual", "/usr/lib/vst3/ZamEQ2.vst3", true}};
#ifdef VARNELVST_TEST_PLUGIN_DIR
    list.insert(list.begin(), {"trivial", std::string(VARNELVST_TEST_PLUGIN_DIR) + "/TestSeparate.vst3"});
#endif
    return list;
}

struct Signal {
    explicit Signal(int frames) : inL(frames), inR(frames), outL(frames), outR(frames) {
        for (int i = 0; i < frames; ++i)
            inL[i] = inR[i] = (i % 100) / 100.0f - 0.5f;
    }
    std::vector<float> inL, inR, outL, outR;
};

constexpr int kMaxBlock = 1024;
constexpr double kRate = 48000.0;

void directProcess(benchmark::State& state, const Subject& subject) {
    const int frames = static_cast<int>(state.range(0));
    Signal signal(frames);
    if (subject.dualMono) {
        DirectHost left(subject.path, kMaxBlock, kRate, 1);
        DirectHost right(subject.path, kMaxBlock, kRate, 1);
        if (!left.ready() || !right.ready()) {
            state.SkipWithError("plug-in did not load");
            return;
        }
        for (auto _ : state) {
            left.process(signal.inL.data(), nullptr, signal.outL.data(), nullptr, frames);
            right.process(signal.inR.data(), nullptr, signal.outR.data(), nullptr, frames);
            benchmark::ClobberMemory();
        }
        return;
    }
    DirectHost host(subject.path, kMaxBlock, kRate);
    if (!host.ready()) {
        state.SkipWithError("plug-in did not load");
        return;
    }
    for (auto _ : state) {
        host.process(signal.inL.data(), signal.inR.data(), signal.outL.data(), signal.outR.data(), frames);
        benchmark::ClobberMemory();
    }
}

void moduleProcess(benchmark::State& state, const Subject& subject) {
    VSTModule module;
    if (!module.loadPlugin(subject.path) ||
        !module.setupProcessing(VSTProcessingMode::Realtime, kMaxBlock, kRate)) {
        state.SkipWithError("plug-in did not load");
        return;
    }
    const int frames = static_cast<int>(state.range(0));
    Signal signal(frames);
    // A parameter set once before the run, as in a real session: the first block
    // carries it, the others carry no changes. The first continuous one a user
    // would move, not a meter, program or switch.
    for (const auto& parameter : module.getParameters()) {
        if (!parameter.readOnly && parameter.stepCount == 0) {
            module.setParameter(parameter.id, 0.5f);
            break;
        }
    }
    for (auto _ : state) {
        module.process(signal.inL.data(), signal.inR.data(), signal.outL.data(), signal.outR.data(), frames);
        benchmark::ClobberMemory();
    }
}

// Collects the CPU time per block of each benchmark, keyed by its name: CPU time, not
// wall time, so that other load on the machine does not enter the ratio.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // With --benchmark_repetitions the median follows the single runs and wins.
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            if (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")
                nanoseconds[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }
    std::map<std::string, double> nanoseconds;
};

} // namespace

int main(int argc, char** argv) {
    for (const Subject& subject : subjects()) {
        for (const char* kind : {"direct", "VSTModule"}) {
            auto* benchmark = benchmark::RegisterBenchmark(
                (subject.name + "/" + kind).c_str(), [subject, kind](benchmark::State& state) {
                    std::string(kind) == "direct" ? directProcess(state, subject)
                                                  : moduleProcess(state, subject);
                });
            benchmark->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kNanosecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::printf("\n%-12s %6s %12s %12s %8s %12s\n", "plug-in", "frames", "direct ns", "module ns", "ratio",
                "overhead ns");
    for (const Subject& subject : subjects()) {
        for (int frames : {64, 256, 1024}) {
            const std::string suffix = "/" + std::to_string(frames);
            const auto direct = reporter.nanoseconds.find(subject.name + "/direct" + suffix);
            const auto wrapped = reporter.nanoseconds.find(subject.name + "/VSTModule" + suffix);
            if (direct == reporter.nanoseconds.end() || wrapped == reporter.nanoseconds.end())
                continue;
            std::printf("%-12s %6d %12.1f %12.1f %8.3f %12.1f\n", subject.name.c_str(), frames,
                        direct->second, wrapped->second, wrapped->second / direct->second,
                        wrapped->second - direct->second);
        }
    }
    benchmark::Shutdown();
    return 0;
}
