// The SDK subset declares these interface ids but defines them nowhere; the
// edit controller base refers to them.
#include "pluginterfaces/gui/iplugview.h"

namespace Steinberg {
DEF_CLASS_IID(IPlugView)
DEF_CLASS_IID(IPlugFrame)
} // namespace Steinberg
