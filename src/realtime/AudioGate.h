#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

namespace varnel::extensions::vst {

/// Whether the audio thread may call the plug-in, and the handshake that lets the
/// control side stop it between blocks.
///
/// The audio thread enters through a Block scope, which raises its in-process flag
/// before it reads the gate, and lowers it when the scope ends, also when the
/// plug-in throws. The control side closes the gate and then waits for a block in
/// flight: either that block saw the gate closed, or it is waited for.
///
/// The gate also counts the blocks let through since it last opened, so that the
/// control side knows whether an audio thread is driving the plug-in rather than
/// guessing from a clock. The blocks it turns away are the caller's to count.
class AudioGate {
public:
    /// Audio thread; never allocates, locks or waits.
    class Block {
    public:
        explicit Block(AudioGate& gate) noexcept : gate(gate) {
            gate.inProcess.store(true, std::memory_order_seq_cst);
            admitted = gate.open.load(std::memory_order_seq_cst);
            // While the gate is open the audio thread is the count's only writer, so
            // a plain increment does; a locked one would cost every block.
            if (admitted)
                gate.admittedSinceOpened.store(gate.admittedSinceOpened.load(std::memory_order_relaxed) + 1,
                                               std::memory_order_relaxed);
        }
        ~Block() { gate.inProcess.store(false, std::memory_order_release); }
        Block(const Block&) = delete;
        Block& operator=(const Block&) = delete;

        /// Whether the plug-in may be called in this block.
        explicit operator bool() const noexcept { return admitted; }

    private:
        AudioGate& gate;
        bool admitted = false;
    };

    /// Control side; waits for a block in flight when the gate was open. Lets the
    /// next blocks through.
    void openGate() noexcept {
        // No block may be counting while the count starts again.
        closeGate();
        admittedSinceOpened.store(0, std::memory_order_relaxed);
        open.store(true, std::memory_order_seq_cst);
    }

    /// Control side; waits for a block in flight. No block calls the plug-in
    /// after this returns, until openGate.
    void closeGate() noexcept {
        open.store(false, std::memory_order_seq_cst);
        while (inProcess.load(std::memory_order_seq_cst))
            std::this_thread::yield();
    }

    /// Any thread. Whether blocks are let through.
    bool isOpen() const noexcept { return open.load(std::memory_order_seq_cst); }

    /// Any thread; never blocks. Blocks let through since the gate last opened:
    /// more than 0 means an audio thread drives the plug-in.
    std::uint64_t blocksSinceOpened() const noexcept {
        return admittedSinceOpened.load(std::memory_order_relaxed);
    }

private:
    std::atomic<bool> open{false};
    std::atomic<bool> inProcess{false};
    std::atomic<std::uint64_t> admittedSinceOpened{0};
};

} // namespace varnel::extensions::vst
