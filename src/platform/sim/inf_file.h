// The text of an INF file as SetupAPI reads it (INF_STYLE_WIN4): sections,
// lines of "key = field, field, ..." or bare fields, quotes, ";" comments,
// "\" line continuation and %strings% from [Strings]. The simulated machine
// installs drivers and lists their files from this.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/devices.h"

namespace vx::sim {

class InfText {
 public:
  // Parses decoded text (UTF-8). A malformed section header fails the
  // whole file, as SetupOpenInfFile does; error_line is then 1-based.
  bool Parse(std::string_view text, uint32_t* error_line = nullptr);

  bool HasSection(std::string_view name) const;
  // Lines of a section (sections of the same name are merged, in file
  // order); null when the section does not exist.
  const std::vector<platform::InfLine>* Section(std::string_view name) const;
  std::vector<std::string> SectionNames() const;

  // The first line with the key in the section, or null.
  const platform::InfLine* FindLine(std::string_view section, std::string_view key) const;

  // The decorated section a 64- or 32-bit Windows NT installs for name:
  // name.NTamd64 / name.NTx86, then name.NT, then name; empty when none.
  std::string ActualSection(std::string_view name, bool is64) const;

  // The DestinationDirs entry of a copy section (or DefaultDestDir, or the
  // Windows default 11) as directory id and optional subdirectory.
  struct Destination {
    uint32_t dirid = 11;
    std::string subdir;
  };
  Destination DestinationOf(std::string_view copy_section) const;

 private:
  struct Sec {
    std::string name;
    std::vector<platform::InfLine> lines;
  };
  std::vector<Sec> sections_;
  std::map<std::string, size_t> index_;  // folded name -> sections_ position
};

// Windows paths of the INF directory ids on a simulated machine whose
// Windows lives in C:\Windows. Empty for an id Windows does not define
// (01, the INF's own folder, depends on the INF and is the caller's).
std::string SimDirIdPath(uint32_t dirid, bool is64, std::string_view user_profile);

}  // namespace vx::sim
