// The in-memory INI object every engine file goes through: a file is read
// whole, changed in memory and written back whole by UpdateFile.
//
// Text model (the rules Windows INI readers and writers commonly share, so a
// file edited by another tool reads as expected):
// - Sections and keys keep file order. Names are trimmed and compared without
//   regard to case (vx::SameText mapping); the first matching section, and
//   within it the first matching key, wins. A file with a repeated section or
//   key keeps the later copy (it is written back) but look-ups never see it
//   until the copy in front is erased or deleted.
// - A line "key=value" splits at the first "="; key and value are trimmed of
//   blanks (characters <= U+0020) and otherwise kept verbatim: quotes are
//   not removed, so what a Windows tool wrote is what a caller reads.
// - Dropped on load: blank lines, comment lines (first non-blank character
//   ";") and lines before the first section header. Comments are not written
//   back: no file of the program carries them, and a rewritten file is then
//   the same however it was edited.
// - A line inside a section that has no "=" (also "[abc" without the closing
//   bracket) is not a key: look-ups, ReadSection and ReadSectionValues skip
//   it, but it stays in place and is written back trimmed.
// - "=value" is a key with an empty name; "[]" a section with an empty name.
// - Line ends may be CR LF, LF or a lone CR. NUL bytes are ordinary
//   characters.
//
// Writing keeps files loadable into the same content: WriteString trims the
// section, key and value as loading would, replaces CR and LF in them by
// blanks, and refuses keys a reload would read as something else (containing
// "=", or beginning with ";" or "[").
//
// Files are written as UTF-8 without byte-order mark with CR LF line ends,
// each section followed by one empty line, and read as UTF-8 with or without
// BOM, UTF-16LE with BOM, or ANSI (vx::DecodeTextFile).
//
// An object is not shared between threads; each user opens its own.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vx {

// What UpdateFile logs when a write-back fails: the operation's tag (the
// caller's, e.g. "CreateInstallSnapshots"), the message of the first failed
// attempt and that of the failed retry.
struct IniUpdateLog {
  std::string tag = "IniFile.UpdateFile";
  std::string first = "Ini.UpdateFile fail";
  std::string second = "Ini.UpdateFile fail 2";

  // The numbered pair used by operations that save several files in one go:
  // "Ini.UpdateFile fail n" / "Ini.UpdateFile fail n.2".
  static IniUpdateLog Numbered(std::string_view tag, int n);
};

class IniFile {
 public:
  static constexpr std::chrono::milliseconds kDefaultRetryDelay{1000};
  // Suffix of the scratch file UpdateFile writes beside the target before it
  // takes the target's place.
  static constexpr std::string_view kTempSuffix = ".vxtmp";

  // Waits between the first failed write-back and the retry.
  using RetryWait = std::function<void(std::chrono::milliseconds)>;
  // Told about each failed write-back attempt (1, then 2 for the retry).
  using FailureReport =
      std::function<void(int attempt, const std::filesystem::path& path, uint32_t code)>;

  IniFile() = default;
  // Remembers the file name and loads the file when it exists.
  explicit IniFile(std::filesystem::path file_name);

  const std::filesystem::path& FileName() const { return file_name_; }
  void SetFileName(std::filesystem::path file_name) { file_name_ = std::move(file_name); }

  // Replaces the content with the file's and makes it the file name. A
  // missing or unreadable file leaves the object empty and returns false;
  // only an unreadable one is logged, a missing file is the normal first run.
  bool LoadFromFile(const std::filesystem::path& path);
  // Replaces the content with the parsed text (UTF-8; a leading BOM is
  // ignored). The file name is kept.
  void LoadFromText(std::string_view text);
  // The file form described above (UTF-8, CR LF).
  std::string ToText() const;
  void Clear();

  // Read* return the default when the section or key is absent; ReadString
  // returns an empty value that is present as empty.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value = {}) const;
  // Decimal, or hexadecimal after "$" or "0x" (optionally signed); values
  // outside the 32-bit range, or with anything else in them, give the
  // default. Hexadecimal up to $FFFFFFFF wraps ("$FFFFFFFF" reads as -1).
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t default_value) const;
  // An integer (as ReadInteger) other than 0; "true"/"false" are not
  // integers and give the default.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;
  // Accepts "." or "," as decimal separator, so files written under any
  // locale read back; infinities and NaN give the default.
  double ReadFloat(std::string_view section, std::string_view key, double default_value) const;

  // Replaces the value of an existing key in place, else appends the key to
  // the section, else appends the section at the end. False (and logged)
  // when the key is refused (see above).
  bool WriteString(std::string_view section, std::string_view key, std::string_view value);
  bool WriteInteger(std::string_view section, std::string_view key, int32_t value);
  bool WriteBool(std::string_view section, std::string_view key, bool value);  // "1" / "0"
  // 15 significant digits, fixed notation unless the number needs more than
  // 15 integer digits or is below 0.00001 ("1E20", "1.5E-6"); the separator
  // is the caller's (the user's locale for date-times in device lists).
  bool WriteFloat(std::string_view section, std::string_view key, double value,
                  char decimal_separator = '.');

  bool SectionExists(std::string_view section) const;
  bool ValueExists(std::string_view section, std::string_view key) const;
  // Key names of the section in file order.
  std::vector<std::string> ReadSection(std::string_view section) const;
  // Every section name in file order, repeated names included.
  std::vector<std::string> ReadSections() const;
  // "key=value" for every key of the section in file order.
  std::vector<std::string> ReadSectionValues(std::string_view section) const;
  // The same lines appended to out, each followed by line_end, without a
  // string per line; the number of lines appended.
  size_t AppendSectionValues(std::string_view section, std::string& out,
                             std::string_view line_end) const;
  // Removes the first matching section / key; nothing when absent.
  void EraseSection(std::string_view section);
  void DeleteKey(std::string_view section, std::string_view key);

  // Writes the whole content to FileName(). The new text goes to a scratch
  // file first; the old file is then deleted (moved aside to its name plus
  // the tick count when it cannot be deleted) and the scratch file takes its
  // name, so a failed attempt leaves the old file as it was. A failed attempt
  // is logged with log.first, the path as parameters and the system error
  // code, retried once after the retry delay, and a second failure is logged
  // with log.second. True when the file was written.
  bool UpdateFile(const IniUpdateLog& log = {}) const;
  // The same with the caller's own reporting of the two failures, for
  // operations whose messages do not follow the pattern above.
  bool UpdateFileWith(const FailureReport& report) const;
  // One attempt, no retry, no log; code gets the system error on failure.
  bool SaveToFile(const std::filesystem::path& path, uint32_t& code) const;

  void SetRetryDelay(std::chrono::milliseconds delay) { retry_delay_ = delay; }
  std::chrono::milliseconds RetryDelay() const { return retry_delay_; }
  // Replaces the sleep between the attempts (tests make the retry succeed
  // or fail without waiting); an empty function restores the sleep.
  void SetRetryWait(RetryWait wait) { retry_wait_ = std::move(wait); }

 private:
  struct Entry {
    std::string name;  // the key, or the whole line of a non-key line
    std::string value;
    bool is_key = true;
  };
  // Entry numbers by folded key name: an open-addressed table of entry
  // number + 1 (0 = free slot), without a string of its own per key; a
  // large device list has tens of thousands of keys.
  struct KeyIndex {
    std::vector<uint32_t> slots;
    size_t used = 0;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    // Built on the first look-up (the first of equal names wins): most
    // sections of a loaded file are only listed, copied or written back.
    mutable KeyIndex keys;
    mutable bool indexed = false;
  };

  const Section* FindSection(std::string_view section) const;
  Section* FindSection(std::string_view section);
  static const Entry* FindKey(const Section& s, std::string_view key);
  Section& AddSection(std::string name);
  static void AddEntry(Section& s, Entry entry);
  // The entry of a key name already trimmed; null when there is none.
  static const Entry* IndexedKey(const Section& s, std::string_view trimmed);
  static void IndexInsert(const Section& s, size_t entry);
  static void IndexKeys(const Section& s);
  void IndexSections();
  void Parse(std::string_view text);

  std::filesystem::path file_name_;
  std::vector<Section> sections_;
  std::unordered_map<std::string, size_t> section_index_;  // folded name -> first section
  std::chrono::milliseconds retry_delay_ = kDefaultRetryDelay;
  RetryWait retry_wait_;
};

}  // namespace vx
