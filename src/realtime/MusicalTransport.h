#pragma once

#include "pluginterfaces/vst/ivstprocesscontext.h"

#include <atomic>
#include <cstdint>

namespace varnel::extensions::vst {

/// The musical context blocks are played in: tempo, time signature, and the
/// transport's position and playing state. Control threads set them without
/// waiting; the audio thread reads them into each block's ProcessContext without
/// a lock or an allocation, and moves the position on by every block it runs.
///
/// Until told otherwise the transport plays from sample 0 at 120 BPM in 4/4, the
/// values plug-ins assume without a context.
class MusicalTransport {
public:
    static constexpr double kDefaultTempo = 120.0;
    static constexpr std::int32_t kDefaultNumerator = 4;
    static constexpr std::int32_t kDefaultDenominator = 4;

    /// Any thread; never blocks. Values are checked by the caller: a tempo
    /// finite and above 0, a numerator and denominator above 0.
    void setTempo(double beatsPerMinute) noexcept;
    void setTimeSignature(std::int32_t numerator, std::int32_t denominator) noexcept;
    /// A stopped transport keeps its position; blocks still run and carry it.
    void setPlaying(bool playing) noexcept;
    /// The project time, in samples, of the next block.
    void locate(std::int64_t projectTimeSamples) noexcept;

    /// Audio thread; never allocates, locks or waits. The context of the block
    /// about to run, at `sampleRate`. Writes every field the context carries; the
    /// arithmetic behind them runs only when tempo, time signature, rate or
    /// position changed. The fields it never sets are cleared once per context.
    void fill(Steinberg::Vst::ProcessContext& context, double sampleRate) noexcept;
    /// Audio thread. Moves on past the block of `frames` that `fill` described:
    /// the project time only while playing, the continuous time always.
    void advance(std::int32_t frames) noexcept {
        continuousTime += frames;
        if (!blockPlaying)
            return;
        projectTime += frames;
        quarterNotes += frames * quartersPerSample;
    }

private:
    static std::uint64_t packSignature(std::int32_t numerator, std::int32_t denominator) noexcept;
    /// Works out what follows from tempo, time signature and rate.
    void derive(double beatsPerMinute, std::uint64_t signature, double sampleRate) noexcept;
    /// The bar the position lies in, worked out again only once the position left
    /// the range where the last answer is certain to hold.
    void findBar() noexcept;

    std::atomic<double> tempo{kDefaultTempo};
    /// Numerator and denominator in one word, so that a block never sees half a change.
    std::atomic<std::uint64_t> timeSignature{packSignature(kDefaultNumerator, kDefaultDenominator)};
    std::atomic<bool> playing{true};
    /// A new position: the target is written first, then the count of requests.
    std::atomic<std::int64_t> locateTarget{0};
    std::atomic<std::uint32_t> locateRequests{0};

    // Audio thread only.
    std::uint32_t locatesTaken = 0;
    std::int64_t projectTime = 0;
    std::int64_t continuousTime = 0;
    /// The musical position, moved on at the tempo of each block, so that a tempo
    /// change bends the position from there on instead of rewriting its past.
    double quarterNotes = 0.0;
    /// What the last fill used, for advance.
    bool blockPlaying = true;
    double quartersPerSample = 0.0;

    /// What derive last worked from (a tempo of 0 is never set, so the first fill
    /// derives), and what it found.
    double derivedTempo = 0.0;
    double derivedRate = 0.0;
    std::uint64_t derivedSignature = 0;
    std::int32_t numerator = kDefaultNumerator;
    std::int32_t denominator = kDefaultDenominator;
    double quartersPerBar = 4.0;
    /// The start of the bar of every position from barCheckedFrom up to, not
    /// including, barCertainUntil (empty after derive).
    double barPosition = 0.0;
    double barCheckedFrom = 0.0;
    double barCertainUntil = 0.0;
    /// The context whose other fields were cleared.
    const Steinberg::Vst::ProcessContext* clearedContext = nullptr;
};

} // namespace varnel::extensions::vst
