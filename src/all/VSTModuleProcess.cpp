#include "VSTModuleInternals.h"

#include <algorithm>

namespace varnel::extensions::vst {

using namespace Steinberg;
using namespace Steinberg::Vst;

void VSTModule::Internals::queueChangedParameters() noexcept {
    // Audio side: no allocation, lock or wait.
    // Values set since the last block join their queues at offset 0. Queues are never
    // emptied: every block repeats the last value of every id ever set.
    parameterSlots.collect([this](ParamID id, ParamValue value) {
        int32 queueIndex = 0;
        if (IParamValueQueue* queue = parameterChanges.addParameterData(id, queueIndex)) {
            int32 pointIndex = 0;
            queue->addPoint(0, value, pointIndex);
        }
    });
}

void VSTModule::process(float* inL, float* inR, float* outL, float* outR, int numFrames) {
    // Audio thread: no allocation, lock, wait or log, on any path. Failures are
    // only counted here; control calls log them.
    Internals& in = *internals;
    if (!in.audioProcessor) {
        in.blocksWithoutProcessor.fail(0);
        return;
    }

    // Raised before reading the switch, so that a control thread switching
    // processing off either stops this block here or waits for it to end.
    in.inProcess.store(true, std::memory_order_seq_cst);
    if (!in.processing.load(std::memory_order_seq_cst) || numFrames < 0) {
        in.inProcess.store(false, std::memory_order_release);
        return;
    }

    in.queueChangedParameters();

    // Plug-ins overrun their buffers on a block longer than the announced maximum,
    // so longer blocks reach them in pieces.
    const int32 maxBlock = in.maxSamplesPerBlock;
    if (maxBlock <= 0 && numFrames > 0) {
        in.inProcess.store(false, std::memory_order_release);
        return;
    }
    int32 done = 0;
    do {
        const int32 frames = std::min<int32>(numFrames - done, maxBlock);
        in.inputChannels[0] = inL + done;
        in.inputChannels[1] = inR + done;
        in.outputChannels[0] = outL + done;
        in.outputChannels[1] = outR + done;
        in.processData.numSamples = frames;
        in.outputParameterChanges.clearQueue();

        const tresult result = in.audioProcessor->process(in.processData);
        if (result == kResultOk)
            in.processErrors.succeed();
        else
            in.processErrors.fail(static_cast<std::int32_t>(result));
        done += frames;
    } while (done < numFrames);

    in.inProcess.store(false, std::memory_order_release);
}

} // namespace varnel::extensions::vst
