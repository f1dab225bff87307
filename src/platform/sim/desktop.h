// The simulated machine's desktop session: top-level windows of other
// programs, registered message names, messages posted to windows and
// programs started without waiting. It is a SQLite file in the machine
// folder (desktop.db) so that every process attached to the machine (the
// program, scripts standing in for the tray program, vxsim, tests) sees the
// same session, as processes of one Windows session do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"
#include "platform/windows_msg.h"

namespace vx::sim {

class Machine;

struct PostedMessage {
  int64_t seq = 0;
  platform::WindowId window = 0;
  std::string window_class;
  std::string window_title;
  uint32_t message = 0;
  std::string message_name;  // the registered name; empty for other numbers
  uint64_t wparam = 0;
  int64_t lparam = 0;
};

struct StartedProgram {
  int64_t seq = 0;
  std::string program;  // Windows path
  std::string args;
  int64_t pid = 0;  // 0 when the file stood for a program and was not run
};

// A request the program made of the whole system (restart, privileges),
// kept instead of acted upon.
struct SystemRequest {
  int64_t seq = 0;
  std::string kind;    // "reboot", "privilege"
  std::string detail;  // e.g. the privilege name
  int64_t pid = 0;
};

// What the simulated window manager keeps of a window besides its class
// and title.
struct WindowState {
  platform::WindowPlacement placement;
  bool top_most = false;
};

class Desktop {
 public:
  explicit Desktop(Machine& machine) : machine_(machine) {}

  uint32_t RegisterMessage(std::string_view name);
  // A window of process pid; a window whose process has ended counts as
  // closed (Windows destroys them with the process). pid 0 keeps the window
  // until CloseWindow, for windows opened from the command line.
  Result<platform::WindowId> OpenWindow(std::string_view window_class, std::string_view title,
                                        int64_t pid);
  Status CloseWindow(platform::WindowId window);
  Result<platform::WindowId> Find(std::string_view window_class, std::string_view title);
  bool Exists(platform::WindowId window);
  Status Post(platform::WindowId window, uint32_t message, uint64_t wparam, int64_t lparam);
  Status RecordStart(std::string_view program, std::string_view args, int64_t pid);

  Status RecordRequest(std::string_view kind, std::string_view detail);
  // True if a live window of process pid is open (the simulated desktop
  // draws every window it holds).
  bool HasWindowOf(int64_t pid);

  // Window management. A window opens above the others of its band, with
  // the placement kDefaultPlacement; windows of a desktop.db from before
  // placements were kept behave as if just opened, below the rest.
  static constexpr platform::WindowRect kDefaultRect{100, 100, 740, 580};
  Result<WindowState> State(platform::WindowId window);
  Status SetPlacement(platform::WindowId window, const platform::WindowPlacement& placement);
  // A minimised window comes back in its normal placement.
  Status Restore(platform::WindowId window);
  Status SetTopMost(platform::WindowId window, bool top_most);
  // Also raises the window to the top of its band. The simulated desktop
  // has no foreground lock, so this is never refused.
  Status SetForeground(platform::WindowId window);
  platform::WindowId Foreground();
  // Live windows, top first: the top-most band, then the others.
  std::vector<platform::WindowId> ZOrder();
  // One locked window per session; a lock held by an ended process lapses.
  Status LockDrawing(platform::WindowId window);
  Status UnlockDrawing();
  platform::WindowId LockedWindow();

  // What happened so far, oldest first.
  std::vector<PostedMessage> Posted();
  std::vector<StartedProgram> Started();
  std::vector<SystemRequest> Requests();

 private:
  Machine& machine_;
};

}  // namespace vx::sim
