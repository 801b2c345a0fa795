#include "SignalName.h"

#include <cstring>

namespace varnelvst::tool {

std::string signalName(int signalNumber) {
    if (const char* abbreviation = ::sigabbrev_np(signalNumber))
        return std::string("SIG") + abbreviation;
    return "signal " + std::to_string(signalNumber);
}

} // namespace varnelvst::tool
