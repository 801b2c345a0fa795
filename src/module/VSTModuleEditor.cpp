// The plug-in's editor, opened into a window of the application's. Every view
// call is a control call like the others: on the plug-in thread, after a catch-up.
#include "VSTModule.h"

#include "module/VSTModuleInternals.h"

#include "pluginterfaces/gui/iplugview.h"

namespace varnel::extensions::vst {

const char* VSTModule::nativeEditorWindowType() {
#if defined(_WIN32)
    return Steinberg::kPlatformTypeHWND;
#elif defined(__APPLE__)
    return Steinberg::kPlatformTypeNSView;
#else
    return Steinberg::kPlatformTypeX11EmbedWindowID;
#endif
}

bool VSTModule::hasEditor() {
    Internals& in = *internals;
    return in.enter("hasEditor", [&] {
        std::string reason;
        return in.plugin().editorAvailable(nativeEditorWindowType(), reason);
    });
}

bool VSTModule::openEditor(void* parentWindow, const std::string& platformType) {
    Internals& in = *internals;
    return in.enter("openEditor", [&] {
        std::string reason;
        return in.plugin().openEditor(parentWindow, platformType, reason) || in.refuse(reason);
    });
}

void VSTModule::closeEditor() {
    Internals& in = *internals;
    in.enter("closeEditor", [&] { in.plugin().closeEditor(); });
}

bool VSTModule::isEditorOpen() const {
    return internals->inspect([this] { return internals->plugin().isEditorOpen(); });
}

VSTEditorSize VSTModule::getEditorSize() const {
    return internals->inspect([this] { return internals->plugin().editorSize(); });
}

bool VSTModule::resizeEditor(VSTEditorSize& size) {
    Internals& in = *internals;
    return in.enter("resizeEditor", [&] {
        std::string reason;
        return in.plugin().resizeEditor(size, reason) || in.refuse(reason);
    });
}

bool VSTModule::setEditorContentScale(float factor) {
    Internals& in = *internals;
    return in.enter("setEditorContentScale", [&] {
        std::string reason;
        return in.plugin().setEditorContentScale(factor, reason) || in.refuse(reason);
    });
}

} // namespace varnel::extensions::vst
