#pragma once

#include "VSTEditorSize.h"
#include "editor/EditorFrame.h"

#include "pluginterfaces/base/smartpointer.h"
#include "pluginterfaces/gui/iplugview.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"

#include <functional>
#include <string>

namespace varnel::extensions::vst {

/// One plug-in editor in a parent window the application gives, in the order
/// VST 3 hosts keep: createView, setFrame, getSize, attached (where the plug-in
/// may already ask for another size), and on closing removed, setFrame(null),
/// release. Every call on the plug-in thread; nothing the plug-in throws leaves.
class PluginEditor {
public:
    /// Told each size the open editor takes after opening, on the plug-in thread.
    using ResizeListener = std::function<void(VSTEditorSize size)>;

    explicit PluginEditor(ResizeListener listener);
    /// Closes an open editor.
    ~PluginEditor();
    PluginEditor(const PluginEditor&) = delete;
    PluginEditor& operator=(const PluginEditor&) = delete;

    /// Whether `controller` gives an editor view that opens into `platformType`:
    /// a view is made, asked and released.
    static bool available(Steinberg::Vst::IEditController* controller, const std::string& platformType,
                          std::string& reason);

    /// Opens the controller's editor into `parent`; false with the reason, and
    /// nothing left open, when the plug-in has none or refuses.
    bool open(Steinberg::Vst::IEditController* controller, void* parent, const std::string& platformType,
              std::string& reason);
    /// Removes an open editor from its parent and releases it; never fails.
    void close() noexcept;
    bool isOpen() const { return view != nullptr; }
    /// The size the open editor last took; empty when closed.
    VSTEditorSize size() const { return current; }

    /// Asks the open editor to take `size` (a window the user resized): the
    /// plug-in may adjust it, and `size` gives what it took. False, with the
    /// reason, when it is not open or not resizable.
    bool resize(VSTEditorSize& size, std::string& reason);
    /// Tells the open editor the content scale (1 is 100 %); false, with the
    /// reason, when the plug-in does not take one.
    bool setContentScale(float factor, std::string& reason);

private:
    /// The plug-in asked for `newSize`: it gets onSize, the listener the size.
    Steinberg::tresult followRequest(Steinberg::ViewRect& newSize);
    void takeSize(const Steinberg::ViewRect& rect);

    ResizeListener listener;
    Steinberg::IPtr<Steinberg::IPlugView> view;
    Steinberg::IPtr<EditorFrame> frame;
    VSTEditorSize current;
    /// Within attached: the size is told to the listener once it returns.
    bool attaching = false;
    /// Within onSize: a plug-in that asks again from there is answered with no.
    bool sizing = false;
};

} // namespace varnel::extensions::vst
