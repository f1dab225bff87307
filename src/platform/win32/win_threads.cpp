#include <windows.h>

#include "platform/threads.h"

namespace vx::platform {

void SetCurrentThreadBelowNormal() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

}  // namespace vx::platform
