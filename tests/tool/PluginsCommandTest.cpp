// `varnel-vst plugins` and plug-in names: bundles found in every search folder,
// recursively, described by their factories; names resolved in the same folders.
#include "ToolHarness.h"

#include "testplugin/TestPluginHandle.h"
#include "testsupport/InstalledPlugins.h"

#include <VSTModule.h>

#include <varnel/testing/LogCapture.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

using namespace tooltest;
using testplugin::TestPluginHandle;
using testsupport::installedBundles;
using testsupport::pinLibrariesThatLeakAtUnload;
using Json = nlohmann::json;

namespace fs = std::filesystem;

namespace {

// A HOME whose .vst3 folder holds test bundles (as links), one of them nested,
// and an empty bundle whose name is not UTF-8 ("Caf\xE9", Latin-1).
class UserPluginFolder : public ::testing::Test {
protected:
    void SetUp() override {
        userFolder = home.path() + "/.vst3";
        fs::create_directories(userFolder + "/Nested");
        fs::create_directory_symlink(TestPluginHandle::bundlePath("TestSeparate"),
                                     userFolder + "/Nested/TestSeparate.vst3");
        fs::create_directory_symlink(TestPluginHandle::bundlePath("TestTwoClasses"),
                                     userFolder + "/TestTwoClasses.vst3");
        fs::create_directory_symlink(TestPluginHandle::bundlePath("TestNoEntry"),
                                     userFolder + "/TestNoEntry.vst3");
        fs::create_directory_symlink(TestPluginHandle::bundlePath("TestSingle"),
                                     userFolder + "/Caf\xE9.vst3");
    }

    // Listing loads every installed bundle, and ZamVerb and ZamHeadX2 leave their
    // convolution buffers behind when their libraries unload, which the leak
    // checker of a sanitizer build would blame on the tool. Leak checking stays on
    // for the tool's other runs, which load the same code for single plug-ins.
    ToolRun run(const std::vector<std::string>& arguments, const std::string& workingFolder = {}) {
        return runTool(arguments, workingFolder,
                       "HOME=" + home.path() + " XDG_CACHE_HOME= LSAN_OPTIONS=detect_leaks=0");
    }

    ScratchFolder home;
    std::string userFolder;
};

const Json* pluginNamed(const Json& json, const std::string& name) {
    for (const Json& plugin : json.at("plugins")) {
        if (plugin.at("name") == name)
            return &plugin;
    }
    return nullptr;
}

} // namespace

TEST_F(UserPluginFolder, JsonDescribesEveryAudioModuleClassOfBundlesFoundRecursively) {
    // What a plug-in prints while it loads is no part of the answer.
    for (const std::string name : {"TestPrintsAtLoad", "TestPrintsToStdout", "TestWithInstrument"})
        fs::create_directory_symlink(TestPluginHandle::bundlePath(name), userFolder + "/" + name + ".vst3");
    const ToolRun result = run({"plugins", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json json = Json::parse(result.out);

    const Json* separate = pluginNamed(json, "TestSeparate");
    ASSERT_NE(separate, nullptr) << result.out;
    EXPECT_EQ(separate->at("vendor"), "Varnel Tests");
    EXPECT_EQ(separate->at("category"), "Audio Module Class");
    EXPECT_EQ(separate->at("subCategories"), Json::array({"Fx"}));
    EXPECT_EQ(separate->at("version"), "1.0.0");
    EXPECT_EQ(separate->at("path"), userFolder + "/Nested/TestSeparate.vst3");
    // One entry per audio module class; controller classes are not plug-ins.
    EXPECT_NE(pluginNamed(json, "TestTwoClasses A"), nullptr);
    EXPECT_NE(pluginNamed(json, "TestTwoClasses B"), nullptr);
    EXPECT_EQ(pluginNamed(json, "TestSeparate Controller"), nullptr);
    EXPECT_NE(pluginNamed(json, "TestPrintsAtLoad"), nullptr);
    EXPECT_NE(pluginNamed(json, "TestPrintsToStdout"), nullptr);
    // Instruments are listed, and told from effects.
    const Json* synth = pluginNamed(json, "TestWithInstrument Synth");
    const Json* effect = pluginNamed(json, "TestWithInstrument Fx");
    ASSERT_TRUE(synth != nullptr && effect != nullptr) << result.out;
    EXPECT_EQ(synth->at("instrument"), true);
    EXPECT_EQ(effect->at("instrument"), false);

    const Json& unloadable = json.at("unloadable");
    ASSERT_EQ(unloadable.size(), 2u);
    // A byte that is not UTF-8 arrives as U+FFFD, never raw, which no JSON reader takes.
    EXPECT_EQ(unloadable[0].at("path"), userFolder + "/Caf\xEF\xBF\xBD.vst3");
    EXPECT_EQ(unloadable[1].at("path"), userFolder + "/TestNoEntry.vst3");
    EXPECT_FALSE(unloadable[1].at("error").get<std::string>().empty());
}

TEST_F(UserPluginFolder, ListsEveryInstalledBundleAndEachLoadsInTheLibrary) {
    const std::vector<std::string> bundles = installedBundles();
    const std::set<std::string> installed(bundles.begin(), bundles.end());
    if (installed.empty())
        GTEST_SKIP() << "no VST 3 plug-ins in /usr/lib/vst3 (scripts/setup.sh installs zam-plugins)";

    const ToolRun result = run({"plugins", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json json = Json::parse(result.out);
    std::set<std::string> listed;
    for (const Json& plugin : json.at("plugins")) {
        const std::string path = plugin.at("path");
        if (path.starts_with("/usr/lib/vst3/"))
            listed.insert(path);
    }
    EXPECT_EQ(listed, installed);

    // As above, in this process: keeping the two leaking libraries mapped keeps
    // their buffers reachable, so the leak checker still judges only our code.
    pinLibrariesThatLeakAtUnload();
    varnel::LogCapture quiet;
    for (const std::string& bundle : listed) {
        varnel::extensions::vst::VSTModule module;
        EXPECT_TRUE(module.loadPlugin(bundle)) << bundle;
    }
}

TEST_F(UserPluginFolder, TextListingHasALinePerPluginAndWarnsAboutUnloadableBundles) {
    fs::create_directory_symlink(TestPluginHandle::bundlePath("TestWithInstrument"),
                                 userFolder + "/TestWithInstrument.vst3");
    const ToolRun result = run({"plugins"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.out.rfind("NAME ", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("TestSeparate "), std::string::npos) << result.out;
    // The count at the end tells effects from instruments.
    std::smatch count;
    ASSERT_TRUE(std::regex_search(
        result.out, count, std::regex(R"(\n(\d+) plug-ins \((\d+) effects?, (\d+) instruments?\)\n$)")))
        << result.out;
    EXPECT_GE(std::stoi(count[3]), 1);
    EXPECT_EQ(std::stoi(count[1]), std::stoi(count[2]) + std::stoi(count[3]));
    EXPECT_NE(result.err.find("varnel-vst: warning: could not load " + userFolder + "/TestNoEntry.vst3: "),
              std::string::npos)
        << result.err;
}

TEST_F(UserPluginFolder, BundlesThatCrashAbortOrHangAreReportedAndTheRestListed) {
    for (const char* name : {"TestFactoryCrashes", "TestClassCountAborts", "TestFactoryHangs"})
        fs::create_directory_symlink(TestPluginHandle::bundlePath(name), userFolder + "/" + name + ".vst3");
    // A link back up the tree: the search must end all the same.
    fs::create_directory_symlink("..", userFolder + "/Nested/loop");
    // Sanitizers would catch the crash themselves and exit instead of dying of it.
    const ToolRun result =
        runTool({"plugins", "--json", "--scan-timeout", "1"}, {},
                "HOME=" + home.path() +
                    " XDG_CACHE_HOME= LSAN_OPTIONS=detect_leaks=0 ASAN_OPTIONS=${ASAN_OPTIONS}:handle_segv=0"
                    " TSAN_OPTIONS=${TSAN_OPTIONS}:handle_segv=0");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const Json json = Json::parse(result.out);
    EXPECT_NE(pluginNamed(json, "TestSeparate"), nullptr) << result.out;
    std::map<std::string, std::string> errors;
    for (const Json& bundle : json.at("unloadable"))
        errors[bundle.at("path")] = bundle.at("error");
    EXPECT_EQ(errors[userFolder + "/TestFactoryCrashes.vst3"], "crashed: SIGSEGV");
    EXPECT_EQ(errors[userFolder + "/TestClassCountAborts.vst3"], "crashed: SIGABRT");
    EXPECT_EQ(errors[userFolder + "/TestFactoryHangs.vst3"], "timed out after 1 s");

    // A bare name is found through the same search, loop and all.
    const ToolRun params = run({"params", "TestSeparate", "--json"});
    EXPECT_EQ(params.exitCode, 0) << params.err;
}

// A bundle whose module entry starts a helper program that keeps running (a
// licence daemon) is listed; the helper ends with the scan.
TEST_F(UserPluginFolder, ABundleThatStartsAHelperIsListedAndTheHelperEnds) {
    fs::create_directory_symlink(TestPluginHandle::bundlePath("TestStartsHelper"),
                                 userFolder + "/TestStartsHelper.vst3");
    const std::string pidFile = home.file("helper.pid");
    const ToolRun result = runTool({"plugins", "--json", "--scan-timeout", "5"}, {},
                                   "HOME=" + home.path() + " XDG_CACHE_HOME= LSAN_OPTIONS=detect_leaks=0" +
                                       " VARNELVST_TEST_HELPER_PID_FILE=" + pidFile);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(pluginNamed(Json::parse(result.out), "TestStartsHelper"), nullptr) << result.out;
    std::ifstream pidText(pidFile);
    int helper = 0;
    ASSERT_TRUE(pidText >> helper);
    // Killed, it may linger as a zombie until its new parent reaps it.
    const auto running = [helper] {
        std::ifstream stat("/proc/" + std::to_string(helper) + "/stat");
        std::string pid, name, state;
        return stat >> pid >> name >> state && state != "Z" && state != "X";
    };
    for (int tries = 0; tries < 200 && running(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(running()) << "helper " << helper;
}

TEST_F(UserPluginFolder, BareNameFindsABundleOutsideTheSystemFolder) {
    ScratchFolder files;
    writeSound(files.file("in.wav"), makeSignal(2, 4800));
    const ToolRun result =
        run({"process", "TestSeparate", files.file("in.wav"), files.file("out.wav"), "--set", "Gain=0.5"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("(" + userFolder + "/Nested/TestSeparate.vst3)"), std::string::npos)
        << result.out;
    EXPECT_EQ(readSound(files.file("out.wav")).frames(), 4800u);
}

// A plug-in is named as people remember it: its bundle but for case, or the name
// it shows (a class of a bundle of several loads that class); a mistyped name
// gets suggestions.
TEST_F(UserPluginFolder, APluginIsNamedButForCaseOrByTheNameItShowsElseSuggested) {
    const ToolRun bundle = run({"params", "testseparate.VST3"});
    ASSERT_EQ(bundle.exitCode, 0) << bundle.err;
    EXPECT_NE(bundle.out.find("(" + userFolder + "/Nested/TestSeparate.vst3)"), std::string::npos)
        << bundle.out;
    const ToolRun shown = run({"params", "testtwoclasses b"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_NE(shown.out.find(": TestTwoClasses B by Varnel Tests"), std::string::npos) << shown.out;
    const ToolRun mistyped = run({"params", "TestSeprate"});
    EXPECT_EQ(mistyped.exitCode, 1);
    EXPECT_NE(mistyped.err.find("(did you mean 'TestSeparate'?)"), std::string::npos) << mistyped.err;
}

// What a listing learnt is kept in the user's cache: the next listing reads it
// (here a vendor written into the cache shows) unless the bundle's library
// changed, a bundle that crashed stays listed as such, and --rescan asks again. Folders come from --folder
// and VST3_PATH too.
TEST_F(UserPluginFolder, TheNextListingReadsTheScanCacheAndFoldersComeFromOptionAndVst3Path) {
    ScratchFolder more;
    fs::create_directory_symlink(TestPluginHandle::bundlePath("TestFactoryCrashes"),
                                 more.path() + "/TestFactoryCrashes.vst3");
    const std::string crasher = more.path() + "/TestFactoryCrashes.vst3";
    // A bundle of its own, whose library the test can change.
    fs::copy(TestPluginHandle::bundlePath("TestSingle"), more.path() + "/TestSingle.vst3",
             fs::copy_options::recursive);
    const auto errorOf = [](const Json& json, const std::string& bundle) {
        for (const Json& entry : json.at("unloadable")) {
            if (entry.at("path") == bundle)
                return entry.at("error").get<std::string>();
        }
        return std::string("not listed");
    };
    const std::string sanitizers =
        " ASAN_OPTIONS=${ASAN_OPTIONS}:handle_segv=0 TSAN_OPTIONS=${TSAN_OPTIONS}:handle_segv=0";
    const ToolRun first =
        runTool({"plugins", "--json", "--folder", more.path()}, {},
                "HOME=" + home.path() + " XDG_CACHE_HOME= LSAN_OPTIONS=detect_leaks=0" + sanitizers);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(errorOf(Json::parse(first.out), crasher), "crashed: SIGSEGV");

    const std::string cacheFile = home.path() + "/.cache/varnel-vst/plugins.json";
    Json cache = Json::parse(std::ifstream(cacheFile));
    for (Json& bundle : cache.at("bundles")) {
        for (Json& description : bundle.at("scan").at("classes"))
            description["vendor"] = "From The Cache";
    }
    std::ofstream(cacheFile) << cache.dump();
    const fs::path library = more.path() + "/TestSingle.vst3/Contents/x86_64-linux/TestSingle.so";
    fs::last_write_time(library, fs::last_write_time(library) + std::chrono::seconds(1));
    const ToolRun second = runTool({"plugins", "--json"}, {},
                                   "HOME=" + home.path() + " XDG_CACHE_HOME= VST3_PATH=" + more.path());
    ASSERT_EQ(second.exitCode, 0) << second.err;
    const Json cached = Json::parse(second.out);
    ASSERT_NE(pluginNamed(cached, "TestSeparate"), nullptr) << second.out;
    EXPECT_EQ(pluginNamed(cached, "TestSeparate")->at("vendor"), "From The Cache");
    ASSERT_NE(pluginNamed(cached, "TestSingle"), nullptr) << second.out;
    EXPECT_EQ(pluginNamed(cached, "TestSingle")->at("vendor"), "Varnel Tests"); // its library changed
    EXPECT_EQ(errorOf(cached, crasher), "crashed: SIGSEGV");
    const ToolRun rescanned = run({"plugins", "--json", "--rescan"});
    ASSERT_EQ(rescanned.exitCode, 0) << rescanned.err;
    EXPECT_EQ(pluginNamed(Json::parse(rescanned.out), "TestSeparate")->at("vendor"), "Varnel Tests");
}
