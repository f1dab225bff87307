// Feeds arbitrary bytes to the extraction path as a ZIP or a 7z archive
// (first byte decides) and aborts when anything lands outside the target.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "common/archive.h"

namespace fs = std::filesystem;

namespace {

fs::path Sandbox() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("vx_fuzz_unzip_" + std::to_string(getpid()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const fs::path box = Sandbox();
  const fs::path target = box / "t";
  const fs::path archive = box / ((data[0] & 1) ? "in.7z" : "in.zip");
  {
    std::ofstream out(archive, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  vx::UnZipFile(archive, target);
  for (const auto& e : fs::directory_iterator(box)) {
    if (e.path() != target && e.path() != archive) {
      std::fprintf(stderr, "escaped: %s\n", e.path().c_str());
      std::abort();
    }
  }
  std::error_code ec;
  fs::remove_all(target, ec);
  fs::remove(archive, ec);
  return 0;
}
