// Scheduling of the calling thread.
#pragma once

namespace vx::platform {

// Lowers the calling thread one step below normal priority, so background
// writers yield to the threads the user waits for. Failure is harmless and
// ignored.
void SetCurrentThreadBelowNormal();

}  // namespace vx::platform
