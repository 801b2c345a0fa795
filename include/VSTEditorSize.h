#pragma once

namespace varnel::extensions::vst {

/// The size of a plug-in's editor, in pixels of the parent window.
struct VSTEditorSize {
    int width = 0;  ///< pixels across
    int height = 0; ///< pixels down

    /// Equal when both dimensions are.
    ///@{
    bool operator==(const VSTEditorSize& other) const {
        return width == other.width && height == other.height;
    }
    bool operator!=(const VSTEditorSize& other) const { return !(*this == other); }
    ///@}
};

} // namespace varnel::extensions::vst
