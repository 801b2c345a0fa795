#pragma once

#include <VSTEditorSize.h>

#include <optional>
#include <string>

namespace varnelvst::tool {

// The top-level X11 window that holds a plug-in's editor, on a connection of its
// own (the plug-in keeps its own). Used on one thread: the one that calls the
// plug-in's editor too.
class EditorWindow {
public:
    // Connects to the display DISPLAY names; throws a ToolError when there is none.
    EditorWindow();
    // Destroys the window unless something else already did.
    ~EditorWindow();
    EditorWindow(const EditorWindow&) = delete;
    EditorWindow& operator=(const EditorWindow&) = delete;

    // Makes the window, unmapped, titled `title`; its id is the editor's parent.
    void create(const std::string& title, varnel::extensions::vst::VSTEditorSize size);
    void* parentHandle() const;
    // Sizes the window to the editor; the window manager may only offer that size.
    void fit(varnel::extensions::vst::VSTEditorSize size);
    void show();

    // What happened since the last call, without waiting.
    struct Happenings {
        bool closeAsked = false; // the window manager's close button (WM_DELETE_WINDOW)
        bool destroyed = false;  // another client destroyed the window
        std::optional<varnel::extensions::vst::VSTEditorSize> resizedTo; // by the user
    };
    Happenings takeEvents();

private:
    struct Connection;
    Connection* connection = nullptr;
};

} // namespace varnelvst::tool
