#include "common/log_file.h"

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/text.h"

namespace vx::log_file {

namespace fs = std::filesystem;

namespace {

std::string EncodeLines(const std::vector<std::string>& lines, bool extra_break) {
  std::u16string text;
  for (const auto& line : lines) {
    text += Utf8ToUtf16(line);
    text += u"\r\n";
  }
  if (extra_break) text += u"\r\n";
  return Utf16LeBytes(text);
}

bool AppendBytes(const fs::path& file, const std::string& bytes) {
  // in|out never creates the file: a log deleted meanwhile is created anew
  // (with its byte-order mark) by the caller's next batch instead.
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  if (!f) return false;
  f.seekp(0, std::ios::end);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.flush();
  return static_cast<bool>(f);
}

bool CreateWithBytes(const fs::path& file, const std::string& bytes) {
  std::error_code ec;
  if (file.has_parent_path()) fs::create_directories(file.parent_path(), ec);
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write("\xFF\xFE", 2);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  f.flush();
  if (f) return true;
  f.close();
  fs::remove(file, ec);  // a half-written new file would hide the batch's loss
  return false;
}

}  // namespace

fs::path OlderGeneration(const fs::path& file) {
  fs::path out = file;
  out.replace_filename(file.stem().native() + fs::path("_prev").native() +
                       file.extension().native());
  return out;
}

void RotateIfNeeded(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return;
  uintmax_t size = fs::file_size(file, ec);
  if (ec || size <= kRotateAboveBytes) return;
  fs::path older = OlderGeneration(file);
  if (fs::exists(older, ec)) {
    if (!fs::remove(older, ec) || ec) return;
  }
  if (!fs::copy_file(file, older, ec) || ec) return;
  fs::remove(file, ec);
}

bool WriteBatch(const fs::path& file, std::vector<std::string>& batch) {
  if (batch.empty() || file.empty()) return true;
  try {
    RotateIfNeeded(file);
    std::error_code ec;
    bool ok;
    if (fs::exists(file, ec)) {
      std::string bytes = EncodeLines(batch, true);
      ok = AppendBytes(file, bytes);
      if (!ok) {
        // Another program (a virus scanner, an editor) may hold it briefly.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ok = AppendBytes(file, bytes);
      }
    } else {
      ok = CreateWithBytes(file, EncodeLines(batch, false));
    }
    if (ok) batch.clear();
    return ok;
  } catch (...) {
    return false;
  }
}

std::string ReadText(const fs::path& file) {
  try {
    std::ifstream f(file, std::ios::binary);
    if (!f) return {};
    std::ostringstream ss;
    ss << f.rdbuf();
    return DecodeTextFile(ss.str());
  } catch (...) {
    return {};
  }
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::string text = ReadText(file);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

}  // namespace vx::log_file
