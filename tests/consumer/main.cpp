// Loads ZamCompX2 through the installed library and prints its parameter count.
// Written to C++17, the standard the public headers promise.
#include <VSTModule.h>

#include <cstdio>

int main() {
    varnel::extensions::vst::VSTModule module;
    if (!module.loadPlugin("/usr/lib/vst3/ZamCompX2.vst3")) {
        std::fprintf(stderr, "consumer: could not load ZamCompX2\n");
        return 1;
    }
    std::printf("ZamCompX2: %zu parameters\n", module.getParameters().size());
    return 0;
}
