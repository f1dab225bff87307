// A program that updates a driver database once, for the crash-safety
// tests: vx_update_child BASEDIR HOST. With VX_TEST_KILL_AT=STEP it kills
// itself (SIGKILL, no clean-up of any kind) when the update reaches STEP.
// Exit code: 0 new database, 1 nothing to do, 2 previous kept, 3 failed.
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "updates/core_updater.h"

int main(int argc, char** argv) {
  using namespace vx;
  if (argc < 3) return 64;
  const char* kill_at = std::getenv("VX_TEST_KILL_AT");
  PumpedMainThread main;
  UpdaterConfig c;
  c.db.base_dir = argv[1];
  c.db.windows64 = true;
  c.db.windows_code = 10;
  c.db.index_pause = std::chrono::milliseconds(20);
  c.host = argv[2];
  c.main = &main;
  c.attempt_pause = std::chrono::milliseconds(1);
  c.ini_retry = std::chrono::milliseconds(1);
  c.step_hook = [kill_at](std::string_view step) {
    if (kill_at && step == kill_at) kill(getpid(), SIGKILL);
  };
  DatabaseUpdater updater(c);
  bool exists = false;
  int last = -1;
  if (!updater.UpdateDriverBases(exists, [&](int code, int32_t, bool*, int32_t) { last = code; }))
    return 1;
  main.PumpUntil([&] { return !updater.Running() && last >= 2; }, std::chrono::minutes(2));
  updater.Join();
  switch (updater.LastOutcome()) {
    case UpdateOutcome::kNewDatabase: return 0;
    case UpdateOutcome::kPreviousRestored: return 2;
    default: return 3;
  }
}
