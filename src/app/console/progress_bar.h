// A one-line progress bar for terminals: redrawn in place with a carriage
// return, cleared when done so the results that follow start on a clean line.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace vx::console {

class ProgressBar {
 public:
  explicit ProgressBar(std::ostream& out, int width = 30) : out_(out), width_(width) {}
  ~ProgressBar() { Clear(); }

  // done of total steps, with a short text (cut to fit one line).
  void Update(int done, int total, std::string_view text);
  // Erases the bar's line.
  void Clear();

  // The line Update draws, without the carriage return (tests).
  static std::string Render(int done, int total, std::string_view text, int width);

 private:
  std::ostream& out_;
  int width_;
  size_t last_length_ = 0;
};

}  // namespace vx::console
