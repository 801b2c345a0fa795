#pragma once

// A type nested in a public class takes that class's visibility, so a shared
// build would export its members with the public API. The Internals records
// are marked with this to stay inside the library. (PE targets have no
// visibility; there it is empty.)
#if defined(__GNUC__) && !defined(_WIN32)
#define VARNELVST_INTERNAL __attribute__((visibility("hidden")))
#else
#define VARNELVST_INTERNAL
#endif
