// The bundles on disk: layout, exported symbols, and the test handle on them.

#include "testplugin/TestPluginHandle.h"
#include "testsupport/SharedLibrary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#ifdef __linux__
#include <elf.h>
#endif
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using testplugin::TestPluginHandle;

const std::vector<std::string> allBundles = {
    "TestSeparate",      "TestSingle",       "TestNoClass",          "TestTwoClasses",
    "TestNoAudioModule", "TestNoProcessor",  "TestDuplicateTitles",  "TestInfoFails",
    "TestRefuseRate",    "TestProcessFalse", "TestRefuseProcessing", "TestInitFails",
    "TestNoController",  "TestMono",         "TestNoEntry",          "TestNoInput",
    "TestRefuseBus",     "TestTwoWay",       "TestStrictThreads",    "TestResetsOnActivation",
};

using testsupport::findSymbol;

#ifdef __linux__
// The defined global symbols of the library's dynamic symbol table: what any
// host (or another library) can see of it.
std::set<std::string> exportedSymbols(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::set<std::string> symbols;
    if (bytes.size() < sizeof(Elf64_Ehdr))
        return symbols;
    Elf64_Ehdr header;
    std::memcpy(&header, bytes.data(), sizeof header);
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    std::memcpy(sections.data(), bytes.data() + header.e_shoff, header.e_shnum * sizeof(Elf64_Shdr));
    for (const Elf64_Shdr& section : sections) {
        if (section.sh_type != SHT_DYNSYM)
            continue;
        const char* names = bytes.data() + sections[section.sh_link].sh_offset;
        for (std::size_t offset = 0; offset + sizeof(Elf64_Sym) <= section.sh_size;
             offset += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            std::memcpy(&symbol, bytes.data() + section.sh_offset + offset, sizeof symbol);
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx != SHN_UNDEF && (binding == STB_GLOBAL || binding == STB_WEAK))
                symbols.insert(names + symbol.st_name);
        }
    }
    return symbols;
}
#endif

class EveryBundle : public testing::TestWithParam<std::string> {};

TEST_P(EveryBundle, LibraryLivesInsideTheBundleFolder) {
    const std::string name = GetParam();
    EXPECT_EQ(TestPluginHandle::bundlePath(name),
              std::string(VARNELVST_TEST_PLUGIN_DIR) + "/" + name + ".vst3");
    std::ifstream library(TestPluginHandle::libraryPath(name));
    EXPECT_TRUE(library.good()) << TestPluginHandle::libraryPath(name);
}

#ifdef __linux__
TEST_P(EveryBundle, ExportsOnlyTheEntryPointsAndTheProbe) {
    const std::string name = GetParam();
    std::set<std::string> expected = {"ModuleEntry", "ModuleExit", "GetPluginFactory",
                                      "VarnelTestPlugin_probe"};
    if (name == "TestNoEntry")
        expected.erase("ModuleEntry");
    EXPECT_EQ(exportedSymbols(TestPluginHandle::libraryPath(name)), expected);
}
#endif

TEST_P(EveryBundle, LoadsWithTheDynamicLoaderAndResolvesItsEntryPoints) {
    const std::string name = GetParam();
    TestPluginHandle handle(name);
    ASSERT_TRUE(handle.loaded()) << handle.error();
    EXPECT_EQ(findSymbol(handle.library(), testsupport::moduleEntryName) != nullptr, name != "TestNoEntry");
    EXPECT_NE(findSymbol(handle.library(), testsupport::moduleExitName), nullptr);
    EXPECT_NE(findSymbol(handle.library(), "GetPluginFactory"), nullptr);
    // Internal code stays hidden: the variant's configuration and the SDK's classes.
    EXPECT_EQ(findSymbol(handle.library(), "_ZN10testplugin13kPluginConfigE"), nullptr);
    EXPECT_EQ(findSymbol(handle.library(), "_ZN9Steinberg7FObject7releaseEv"), nullptr);
    // Loading alone calls nothing: the handle never enters the module.
    EXPECT_EQ(handle.probe().count("ModuleEntry"), 0);
    EXPECT_TRUE(handle.probe().calls().empty());
}

INSTANTIATE_TEST_SUITE_P(Bundles, EveryBundle, testing::ValuesIn(allBundles),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

TEST(TestPluginHandleTest, KeepsTheRecordReadableAfterAnotherUserUnloads) {
    TestPluginHandle handle("TestSeparate");
    ASSERT_TRUE(handle.loaded()) << handle.error();
    {
        std::string error;
        void* host = testsupport::openLibrary(TestPluginHandle::libraryPath("TestSeparate"), error);
        ASSERT_NE(host, nullptr) << error;
        EXPECT_TRUE(testsupport::callModuleEntry(host));
        EXPECT_TRUE(testsupport::callModuleExit(host));
        testsupport::closeLibrary(host);
    }
    EXPECT_EQ(handle.probe().count("ModuleEntry"), 1);
    EXPECT_EQ(handle.probe().count("ModuleExit"), 1);
    EXPECT_TRUE(handle.probe().violations().empty()) << describeViolations(handle.probe());
}

TEST(TestPluginHandleTest, UnknownBundleGivesAnInertProbeAndAReason) {
    TestPluginHandle handle("NoSuchPlugin");
    EXPECT_FALSE(handle.loaded());
    EXPECT_EQ(handle.library(), nullptr);
    EXPECT_NE(handle.error().find("NoSuchPlugin"), std::string::npos) << handle.error();
    EXPECT_TRUE(handle.probe().calls().empty());
    EXPECT_EQ(handle.probe().processCount(), 0);
    EXPECT_EQ(describeViolations(handle.probe()), "no violations");
}

} // namespace
