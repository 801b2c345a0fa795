#pragma once

// The editor view of test plug-ins configured with `hasEditor`: it records the
// host's view calls, asks for its real size inside attached (as real editors
// do), and on Linux works from the host's run loop, a timer and a watched pipe,
// from where it also makes the edits and size requests a test asks for. On
// Windows it puts a child window of its own into the parent it is given.

#include "testplugin/TestPluginProbe.h"

#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <string>

namespace testplugin {

// A new view (one reference, for the caller) of `controller`, named `owner`; it
// holds the controller, as editors do, and sets its values when it edits.
Steinberg::IPlugView* createTestView(Steinberg::Vst::IEditController* controller, const std::string& owner);
// Views made and not yet released.
int liveTestViews();

// The probe's editor part (see TestPluginProbe).
EditorActivity testViewActivity();
bool wakeTestView();
bool editFromTestView(std::uint32_t id, double value);
bool resizeFromTestView(int width, int height);

} // namespace testplugin
