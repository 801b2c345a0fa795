#include "EditCommandLine.h"

namespace varnelvst::tool {

const char* const kEditFooter =
    R"(Opens a window titled with the plug-in's name that holds the plug-in's own
editor (on the X display DISPLAY names), and keeps the plug-in processing in
real time, silence or --input played in a loop, so that its meters move. Close
the window, or press Ctrl+C, to finish: --save-preset then writes the state
dialled in, which process --preset renders with. A plug-in without an editor,
or no display, is an error.)";

void addEditOptions(CLI::App& editApp, EditCommand& edit) {
    editApp.add_option("--preset", edit.preset, "Restore this .vstpreset before the editor opens")
        ->type_name("FILE");
    editApp
        .add_option("--save-preset", edit.savePreset, "Write the plug-in's state here when the window closes")
        ->type_name("FILE");
    editApp
        .add_option("--input", edit.input,
                    "Play this sound file (mono or stereo) in a loop through the plug-in")
        ->type_name("FILE");
}

} // namespace varnelvst::tool
