#include "varnel/Extension.h"

namespace varnel {

void Extension::initialize(const VLAnyMap&) {}

void Extension::deinitialize() {}

} // namespace varnel
