#include "editor/PluginEditor.h"

#include "pluginterfaces/gui/iplugviewcontentscalesupport.h"
#include "pluginterfaces/vst/vsttypes.h"

#include <utility>

namespace varnel::extensions::vst {

using namespace Steinberg;

namespace {

/// A view for `platformType`, or null with the reason.
IPtr<IPlugView> createView(Vst::IEditController* controller, const std::string& platformType,
                           std::string& reason) {
    if (controller == nullptr) {
        reason = "The plug-in has no edit controller, so no editor.";
        return nullptr;
    }
    // createView hands over a reference of its own.
    IPtr<IPlugView> view(controller->createView(Vst::ViewType::kEditor), false);
    if (!view) {
        reason = "The plug-in has no editor.";
        return nullptr;
    }
    if (view->isPlatformTypeSupported(platformType.c_str()) != kResultTrue) {
        reason = "The plug-in's editor does not open into a " + platformType + " window.";
        return nullptr;
    }
    return view;
}

} // namespace

PluginEditor::PluginEditor(ResizeListener onResized) : listener(std::move(onResized)) {}

PluginEditor::~PluginEditor() {
    close();
}

bool PluginEditor::available(Vst::IEditController* controller, const std::string& platformType,
                             std::string& reason) {
    return createView(controller, platformType, reason) != nullptr;
}

bool PluginEditor::open(Vst::IEditController* controller, void* parent, const std::string& platformType,
                        std::string& reason) {
    if (view) {
        reason = "The editor is already open.";
        return false;
    }
    if (parent == nullptr) {
        reason = "No parent window was given for the editor.";
        return false;
    }
    IPtr<IPlugView> candidate = createView(controller, platformType, reason);
    if (!candidate)
        return false;
    try {
        view = candidate;
        frame = owned(new EditorFrame(view, [this](ViewRect& newSize) { return followRequest(newSize); }));
        view->setFrame(frame);
        ViewRect initial;
        if (view->getSize(&initial) == kResultTrue)
            takeSize(initial);
        // Plug-ins ask for their real size inside attached; the caller reads the
        // result with size() once open returns.
        attaching = true;
        const tresult attached = view->attached(parent, platformType.c_str());
        attaching = false;
        if (attached != kResultTrue) {
            reason = "The plug-in's editor refused to open in the window given.";
            // Not attached, so not removed: only unhooked.
            view->setFrame(nullptr);
            frame->detach();
            frame = nullptr;
            view = nullptr;
            current = {};
            return false;
        }
    } catch (...) {
        attaching = false;
        close();
        throw;
    }
    return true;
}

void PluginEditor::close() noexcept {
    if (!view)
        return;
    // The plug-in takes its windows out of the parent before it is unhooked, and
    // its run-loop handlers go before the view, so none runs on a view that is gone.
    try {
        view->removed();
    } catch (...) {
    }
    try {
        view->setFrame(nullptr);
    } catch (...) {
    }
    frame->detach();
    frame = nullptr;
    try {
        view = nullptr;
    } catch (...) {
    }
    current = {};
}

tresult PluginEditor::followRequest(ViewRect& newSize) {
    if (!view || sizing)
        return kResultFalse;
    // VST 3 has the host call onSize before resizeView returns.
    sizing = true;
    const tresult sized = view->onSize(&newSize);
    sizing = false;
    if (sized != kResultTrue && sized != kResultOk)
        return kResultFalse;
    takeSize(newSize);
    if (!attaching && listener)
        listener(current);
    return kResultTrue;
}

void PluginEditor::takeSize(const ViewRect& rect) {
    current = VSTEditorSize{rect.getWidth(), rect.getHeight()};
}

bool PluginEditor::resize(VSTEditorSize& size, std::string& reason) {
    if (!view) {
        reason = "No editor is open.";
        return false;
    }
    if (size.width <= 0 || size.height <= 0) {
        reason = "Invalid editor size: " + std::to_string(size.width) + "x" + std::to_string(size.height);
        return false;
    }
    if (view->canResize() != kResultTrue) {
        reason = "The plug-in's editor cannot be resized.";
        return false;
    }
    ViewRect rect(0, 0, size.width, size.height);
    // A plug-in that keeps to a grid or an aspect ratio moves the size to one it takes.
    view->checkSizeConstraint(&rect);
    sizing = true;
    const tresult sized = view->onSize(&rect);
    sizing = false;
    if (sized != kResultTrue && sized != kResultOk) {
        reason = "The plug-in's editor refused the size " + std::to_string(rect.getWidth()) + "x" +
                 std::to_string(rect.getHeight()) + ".";
        return false;
    }
    takeSize(rect);
    size = current;
    return true;
}

bool PluginEditor::setContentScale(float factor, std::string& reason) {
    if (!view) {
        reason = "No editor is open.";
        return false;
    }
    if (!(factor > 0.0f)) {
        reason = "Invalid content scale: " + std::to_string(factor);
        return false;
    }
    FUnknownPtr<IPlugViewContentScaleSupport> scaling(view);
    if (!scaling || scaling->setContentScaleFactor(factor) != kResultTrue) {
        reason = "The plug-in's editor does not take a content scale.";
        return false;
    }
    return true;
}

} // namespace varnel::extensions::vst
