// The program-wide closing flag: set once when the program shuts down, so
// that every worker loop and wait ends. Read from any thread.
#pragma once

namespace vx {

bool ProgramClosing();
void SetProgramClosing(bool closing);

}  // namespace vx
