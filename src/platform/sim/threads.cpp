#include "platform/threads.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace vx::platform {

void SetCurrentThreadBelowNormal() {
  // On Linux the nice value belongs to the thread (its kernel task id), so
  // this does not slow the rest of the process.
  const auto tid = static_cast<id_t>(syscall(SYS_gettid));
  errno = 0;
  int nice = getpriority(PRIO_PROCESS, tid);
  if (nice == -1 && errno != 0) return;
  setpriority(PRIO_PROCESS, tid, nice + 1);
}

}  // namespace vx::platform
