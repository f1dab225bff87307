// Services the common layer wires together once per program, before the
// front end (console or GUI) does anything else.
#pragma once

namespace vx {

// Hands the archive writer to the event log for its diagnostic archives.
void InstallCommonServices();

}  // namespace vx
