#pragma once

namespace varnel::extensions::vst {

/// How a VSTModule runs its plug-in on the caller's stereo signal, chosen at load
/// from the main buses the plug-in accepts after being asked for stereo. Whatever
/// the layout, both output channels carry the plug-in's result.
enum class VSTChannelLayout {
    none,             ///< no plug-in loaded: blocks leave the output as it is
    stereo,           ///< one instance on stereo main buses (channels past the second of a
                      ///< wider bus get silence in, and their output is dropped)
    dualMono,         ///< a mono-only plug-in: two instances, one per channel, sharing
                      ///< every parameter value
    monoInStereoOut,  ///< fed the mean of left and right
    stereoInMonoOut,  ///< its mono result goes to both channels
    noInputStereoOut, ///< a generator; the input is not read
    noInputMonoOut,   ///< a generator whose mono result goes to both channels
    noOutput,         ///< the plug-in only listens: the output stays as the caller left it
};

/// The layout in plain words for people, e.g. "dual mono (two mono instances, one
/// per channel)". Never null; any thread.
const char* describeChannelLayout(VSTChannelLayout layout);

} // namespace varnel::extensions::vst
