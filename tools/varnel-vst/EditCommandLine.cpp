#include "EditCommandLine.h"

namespace varnelvst::tool {

const char* const kEditFooter =
    R"(Opens a window titled with the plug-in's name that holds the plug-in's own
editor (on the X display DISPLAY names), and keeps the plug-in processing in
real time, silence or --input played in a loop, so that its meters move. Close
the window, or press Ctrl+C, to finish: --save-preset then writes the state
dialled in, which process --preset renders with. A plug-in without an editor,
or no display, is an error.

Where a JACK server runs, --input is heard: it plays through the plug-in to the
sound card as play plays it (--device and --buffer as there), and --live plays
the sound card's input through it instead; what you turn is what you hear.
Without a server --input runs through the plug-in unheard.)";

void addEditOptions(CLI::App& editApp, EditCommand& edit) {
    editApp.add_option("--preset", edit.preset, "Restore this .vstpreset before the editor opens")
        ->type_name("FILE");
    editApp
        .add_option("--save-preset", edit.savePreset, "Write the plug-in's state here when the window closes")
        ->type_name("FILE");
    CLI::Option* input =
        editApp
            .add_option("--input", edit.input,
                        "Play this sound file (mono or stereo) in a loop through the plug-in")
            ->type_name("FILE");
    editApp
        .add_flag("--live", edit.live,
                  "Play the sound card's input through the plug-in (needs a JACK server)")
        ->excludes(input);
    editApp
        .add_option("--device", edit.device,
                    "Play to this client of the JACK server (see play --list-devices)")
        ->type_name("NAME");
    editApp
        .add_option("--buffer", edit.bufferFrames, "Ask the JACK server for periods of N frames, 16 to 8192")
        ->type_name("N")
        ->check(CLI::Range(16u, 8192u).description(""));
}

} // namespace varnelvst::tool
