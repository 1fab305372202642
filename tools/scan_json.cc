#include "tools/scan_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace corvel {
namespace {

void appendEscaped(std::string& out, char c) {
  switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\b': out += "\\b"; return;
    case '\f': out += "\\f"; return;
    default: break;
  }
  if (static_cast<unsigned char>(c) >= 0x20) {
    out += c;
    return;
  }
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
  out += escape;
}

void newLine(std::string& out, int depth) {
  out += '\n';
  out.append(static_cast<size_t>(depth) * 2, ' ');
}

// Copies the string literal starting at `at` and moves past it.
void copyString(std::string_view json, size_t& at, std::string& out) {
  out += json[at++];
  while (at < json.size() && json[at] != '"') {
    if (json[at] == '\\' && at + 1 < json.size()) out += json[at++];
    out += json[at++];
  }
  if (at < json.size()) out += json[at];
}

bool isOpening(char c) { return c == '{' || c == '['; }
bool isClosing(char c) { return c == '}' || c == ']'; }

}  // namespace

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) appendEscaped(out, c);
  return out + '"';
}

std::string prettyJson(std::string_view json) {
  std::string out;
  int depth = 0;
  for (size_t at = 0; at < json.size(); ++at) {
    const char c = json[at];
    if (c == '"') {
      copyString(json, at, out);
    } else if (isOpening(c) && at + 1 < json.size() && isClosing(json[at + 1])) {
      out += c;
      out += json[++at];
    } else if (isOpening(c)) {
      out += c;
      newLine(out, ++depth);
    } else if (isClosing(c)) {
      newLine(out, --depth);
      out += c;
    } else if (c == ',') {
      out += c;
      newLine(out, depth);
    } else {
      out += c;
      if (c == ':') out += ' ';
    }
  }
  return out;
}

void JsonWriter::separate() {
  if (afterKey) {
    afterKey = false;
    return;
  }
  if (started.empty()) return;
  if (started.back()) out += ',';
  started.back() = true;
}

JsonWriter& JsonWriter::open(char bracket) {
  separate();
  out += bracket;
  started.push_back(false);
  return *this;
}

JsonWriter& JsonWriter::close(char bracket) {
  out += bracket;
  started.pop_back();
  return *this;
}

JsonWriter& JsonWriter::beginObject() { return open('{'); }
JsonWriter& JsonWriter::endObject() { return close('}'); }
JsonWriter& JsonWriter::beginArray() { return open('['); }
JsonWriter& JsonWriter::endArray() { return close(']'); }

JsonWriter& JsonWriter::key(std::string_view name) {
  separate();
  out += jsonQuoted(name);
  out += ':';
  afterKey = true;
  return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) { return raw(jsonQuoted(text)); }

JsonWriter& JsonWriter::value(int64_t number) { return raw(std::to_string(number)); }

JsonWriter& JsonWriter::value(double number) {
  if (!std::isfinite(number)) return null();
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  return raw(std::string_view(digits, static_cast<size_t>(end - digits)));
}

JsonWriter& JsonWriter::null() { return raw("null"); }

JsonWriter& JsonWriter::raw(std::string_view json) {
  separate();
  out += json;
  return *this;
}

}  // namespace corvel
