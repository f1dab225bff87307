#include "app/console/progress_bar.h"

#include <algorithm>

namespace vx::console {

namespace {

constexpr size_t kMaxText = 36;

// Cuts at a character boundary so a multi-byte UTF-8 name is not split.
std::string CutUtf8(std::string_view text, size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  size_t end = max_bytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end)) + "...";
}

}  // namespace

std::string ProgressBar::Render(int done, int total, std::string_view text, int width) {
  width = std::max(width, 1);
  const int shown_total = std::max(total, done);
  // Without a total there is nothing to fill towards.
  const int filled = total > 0 ? std::clamp(done * width / shown_total, 0, width) : 0;
  std::string line = "[";
  line.append(static_cast<size_t>(filled), '#');
  line.append(static_cast<size_t>(width - filled), ' ');
  line += "] ";
  line += std::to_string(done);
  if (total > 0) line += "/" + std::to_string(shown_total);
  if (!text.empty()) line += " " + CutUtf8(text, kMaxText);
  return line;
}

void ProgressBar::Update(int done, int total, std::string_view text) {
  const std::string line = Render(done, total, text, width_);
  out_ << '\r' << line;
  if (line.size() < last_length_) out_ << std::string(last_length_ - line.size(), ' ');
  out_.flush();
  last_length_ = line.size();
}

void ProgressBar::Clear() {
  if (last_length_ == 0) return;
  out_ << '\r' << std::string(last_length_, ' ') << '\r';
  out_.flush();
  last_length_ = 0;
}

}  // namespace vx::console
