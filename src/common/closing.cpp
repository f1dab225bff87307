#include "common/closing.h"

#include <atomic>

namespace vx {

namespace {
std::atomic<bool> g_program_closing{false};
}  // namespace

bool ProgramClosing() { return g_program_closing.load(std::memory_order_acquire); }
void SetProgramClosing(bool closing) {
  g_program_closing.store(closing, std::memory_order_release);
}

}  // namespace vx
