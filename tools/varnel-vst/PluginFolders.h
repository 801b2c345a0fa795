#pragma once

#include <optional>
#include <string>
#include <vector>

namespace varnelvst::tool {

// The VST 3 search folders of Linux, in listing order: the folders of
// VST3_PATH (separated by ':'), $HOME/.vst3 (when HOME is set), the system
// folder /usr/lib/vst3, /usr/local/lib/vst3. Each ends in '/'.
std::vector<std::string> searchFolders();

// Every bundle folder (Name.vst3) below `extraFolders` and the search folders, searched
// recursively without entering bundles, folder by folder in listing order and
// sorted within each. Missing folders are skipped, unreadable ones too after a
// warning that names them; every folder
// and bundle is visited once (by device and inode), so a bundle reached twice
// through a link is listed once and a link loop ends.
std::vector<std::string> findBundles(const std::vector<std::string>& extraFolders = {});

// A plug-in named on the command line, resolved to a bundle or library.
struct PluginLocation {
    std::string argument; // as the user typed it, for messages
    std::string path;     // absolute
    // The path relative to the library's system folder when it lies inside it,
    // which is how a node's "pluginFileName" names a plug-in.
    std::optional<std::string> systemRelativeName;
    // The audio module class the name chose, when it named a class rather than a
    // bundle; empty otherwise.
    std::string pluginClass;
};

// A name without '/' ("ZamCompX2" or "ZamCompX2.vst3") is a bundle looked up in
// the system folder, then in the other search folders; then, without one of
// that name, a bundle named so but for case, or the one bundle with an effect of
// that name (the name plug-ins show, as `plugins` lists it), exact or but for
// case. Anything with a '/' is a path. Throws a ToolError naming the places
// looked in, with suggestions, when nothing is there.
PluginLocation locatePlugin(const std::string& argument);

// The plug-in at `path`, as `argument` named it.
PluginLocation locatedAt(const std::string& argument, const std::string& path);

} // namespace varnelvst::tool
