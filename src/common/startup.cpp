#include "common/startup.h"

#include "common/archive.h"
#include "common/logger.h"

namespace vx {

// The log sits below the archive code and cannot name it, so the link is
// made here at start.
void InstallCommonServices() { SetLogZipFunction(&ZipFile); }

}  // namespace vx
