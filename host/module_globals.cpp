// The module-wide state every effect may touch, apart from the entry that
// reads it (module_state.cpp), so that a program linking an effect without
// the entry (benchmarks) needs nothing more.
#include "host/entry.h"

namespace klv {

void* moduleInstance = nullptr;
bool editorCreationFailed = false;

}  // namespace klv
