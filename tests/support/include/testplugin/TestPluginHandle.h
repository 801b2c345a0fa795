#pragma once

// A test's own handle on a test plug-in library. It opens the library without
// calling ModuleEntry (InitDll on Windows), so the host under test still does the whole module
// lifecycle itself; the extra reference keeps the library, and with it the
// plug-in's record, alive after the host unloads it, so a test can read the
// record after teardown.

#include "testplugin/TestPluginProbe.h"

#include <string>

namespace testplugin {

class TestPluginHandle {
public:
    // "<test plug-in dir>/<name>.vst3", the bundle folder a host is given.
    static std::string bundlePath(const std::string& name);
    // The library inside the bundle: "<bundle>/Contents/<arch>-linux/<name>.so",
    // on Windows "<bundle>/Contents/x86_64-win/<name>.vst3".
    static std::string libraryPath(const std::string& name);

    // Opens the library (testsupport::openLibrary) and finds VarnelTestPlugin_probe.
    explicit TestPluginHandle(const std::string& name);
    ~TestPluginHandle(); // closes its hold on the library
    TestPluginHandle(const TestPluginHandle&) = delete;
    TestPluginHandle& operator=(const TestPluginHandle&) = delete;

    // True when the library opened and exports the probe.
    bool loaded() const;
    // The plug-in's record; an inert, empty probe when not loaded.
    TestPluginProbe& probe();
    // Why loading failed (the dynamic loader's text), empty when loaded.
    const std::string& error() const;
    // The library handle, for testsupport::findSymbol; null when the library did not open.
    void* library() const;

private:
    void* library_ = nullptr;
    TestPluginProbe* probe_ = nullptr;
    std::string error_;
};

// All violations of a probe, one per line, for test failure messages; "no violations" when empty.
std::string describeViolations(const TestPluginProbe& probe);

} // namespace testplugin
