#include "app/console/json_writer.h"

#include <cstdio>

namespace vx::console {

JsonWriter::~JsonWriter() {
  if (wrote_any_ && levels_.empty()) out_ << '\n';
}

std::string JsonWriter::Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

void JsonWriter::NewLine() {
  out_ << '\n';
  for (size_t i = 0; i < levels_.size(); ++i) out_ << "  ";
}

void JsonWriter::BeforeValue() {
  wrote_any_ = true;
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (levels_.empty()) return;
  if (!levels_.back().first) out_ << ',';
  levels_.back().first = false;
  NewLine();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ << bracket;
  levels_.push_back({});
}

void JsonWriter::Close(char bracket) {
  if (levels_.empty()) return;
  const bool empty = levels_.back().first;
  levels_.pop_back();
  if (!empty) NewLine();
  out_ << bracket;
}

JsonWriter& JsonWriter::BeginObject() { Open('{'); return *this; }
JsonWriter& JsonWriter::EndObject() { Close('}'); return *this; }
JsonWriter& JsonWriter::BeginArray() { Open('['); return *this; }
JsonWriter& JsonWriter::EndArray() { Close(']'); return *this; }

JsonWriter& JsonWriter::Key(std::string_view key) {
  BeforeValue();
  out_ << '"' << Escape(key) << "\": ";
  after_key_ = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view value) {
  BeforeValue();
  out_ << '"' << Escape(value) << '"';
  return *this;
}

JsonWriter& JsonWriter::Number(int64_t value) {
  BeforeValue();
  out_ << value;
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ << (value ? "true" : "false");
  return *this;
}

JsonWriter& JsonWriter::Null() {
  BeforeValue();
  out_ << "null";
  return *this;
}

}  // namespace vx::console
