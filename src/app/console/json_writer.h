// A small streaming JSON writer for the console's --json output: objects,
// arrays, strings, numbers and booleans, two-space indented. The caller
// keeps the nesting right; strings are escaped (UTF-8 passes through, control
// characters become \u escapes).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vx::console {

class JsonWriter {
 public:
  explicit JsonWriter(std::ostream& out) : out_(out) {}
  ~JsonWriter();  // ends the last line of a finished document

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  JsonWriter& Key(std::string_view key);
  JsonWriter& String(std::string_view value);
  JsonWriter& Number(int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // Key + value in one call.
  JsonWriter& Field(std::string_view key, std::string_view value) { return Key(key).String(value); }
  JsonWriter& Field(std::string_view key, const char* value) { return Key(key).String(value); }
  JsonWriter& Field(std::string_view key, int64_t value) { return Key(key).Number(value); }
  JsonWriter& Field(std::string_view key, int value) { return Key(key).Number(value); }
  JsonWriter& Field(std::string_view key, bool value) { return Key(key).Bool(value); }

  static std::string Escape(std::string_view text);

 private:
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);
  void NewLine();

  struct Level {
    bool first = true;
  };
  std::ostream& out_;
  std::vector<Level> levels_;
  bool after_key_ = false;
  bool wrote_any_ = false;
};

}  // namespace vx::console
