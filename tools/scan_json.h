// A minimal JSON writer for corvel-scan's output: compact text built in
// order, strings escaped (control characters as escapes, other bytes passed
// through, so UTF-8 stays UTF-8), and an indenter for --pretty. Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// `text` as a JSON string literal, quotes included.
std::string jsonQuoted(std::string_view text);

// `compact` JSON (as JsonWriter writes it) indented by two spaces a level.
std::string prettyJson(std::string_view compact);

class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  // The member name of the value that follows.
  JsonWriter& key(std::string_view name);
  JsonWriter& value(std::string_view text);
  JsonWriter& value(const char* text) { return value(std::string_view(text)); }
  JsonWriter& value(int64_t number);
  JsonWriter& value(double number);  // null when not finite
  JsonWriter& null();
  // Text that is already JSON, written as one value.
  JsonWriter& raw(std::string_view json);

  const std::string& text() const { return out; }

 private:
  // A comma before every array element or member but the first.
  void separate();
  JsonWriter& open(char bracket);
  JsonWriter& close(char bracket);

  std::string out;
  std::vector<bool> started;  // per open container: has it a first element yet
  bool afterKey = false;
};

}  // namespace corvel
