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

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at `at`, or 0 when it is not
// one (overlong forms and surrogates included).
size_t utf8Length(std::string_view text, size_t at) {
  const auto byte = [&](size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
  const unsigned lead = byte(0);
  size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
  else if (lead >= 0xF0 && lead <= 0xF4) length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
  else return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  return length;
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

// Plug-ins' texts are not always UTF-8: a byte that starts no well-formed
// sequence becomes U+FFFD, so the output stays valid JSON.
std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      appendEscaped(out, text[at++]);
    } else if (const size_t length = utf8Length(text, at)) {
      out.append(text.substr(at, length));
      at += length;
    } else {
      out += kReplacementCharacter;
      ++at;
    }
  }
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
