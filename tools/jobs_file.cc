#include "tools/jobs_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>

#include "host/host_options.h"
#include "tools/render_plan.h"

namespace corvel {
namespace {

// Reads one flat object from the front of the text; the first fault ends it.
class FlatObjectReader {
 public:
  explicit FlatObjectReader(std::string_view text) : text(text) {}

  FlatObjectRead read() {
    FlatObjectRead result;
    if (readObject(result.fields)) {
      skipSpace();
      if (at != text.size()) fail("text after the object");
    }
    result.error = error;
    return result;
  }

 private:
  bool readObject(std::map<std::string, JsonScalar>& fields) {
    skipSpace();
    if (!expect('{')) return false;
    skipSpace();
    if (take('}')) return true;
    do {
      std::string key;
      JsonScalar value;
      skipSpace();
      if (!readString(key)) return false;
      skipSpace();
      if (!expect(':')) return false;
      skipSpace();
      if (!readValue(value)) return false;
      if (!fields.emplace(key, value).second) return fail("key \"" + key + "\" given twice");
      skipSpace();
    } while (take(','));
    return expect('}');
  }

  bool readValue(JsonScalar& value) {
    if (at == text.size()) return fail("a value is missing");
    switch (text[at]) {
      case '"':
        value.kind = JsonScalar::Kind::kString;
        return readString(value.text);
      case 't':
      case 'f':
        value.kind = JsonScalar::Kind::kBoolean;
        value.boolean = text[at] == 't';
        return readWord(value.boolean ? "true" : "false");
      case 'n':
        value.kind = JsonScalar::Kind::kNull;
        return readWord("null");
      case '{':
      case '[':
        return fail("values are strings, numbers, true, false or null; no objects or arrays");
      default:
        value.kind = JsonScalar::Kind::kNumber;
        return readNumber(value.number);
    }
  }

  bool readString(std::string& out) {
    if (!expect('"')) return false;
    while (at < text.size() && text[at] != '"') {
      const auto c = static_cast<unsigned char>(text[at]);
      if (c < 0x20) return fail("a control character inside a string");
      if (c != '\\') {
        out += text[at++];
      } else if (!readEscape(out)) {
        return false;
      }
    }
    return expect('"');
  }

  bool readEscape(std::string& out) {
    ++at;  // the backslash
    if (at == text.size()) return fail("a string ends inside an escape");
    const char c = text[at++];
    const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
    if (const size_t i = simple.find(c); i != std::string_view::npos) {
      out += meaning[i];
      return true;
    }
    if (c != 'u') return fail(std::string("unknown escape \\") + c);
    uint32_t code = 0;
    if (!readHex4(code)) return false;
    if (code >= 0xDC00 && code <= 0xDFFF) return fail("a lone low surrogate");
    if (code >= 0xD800 && code <= 0xDBFF) {
      uint32_t low = 0;
      if (text.substr(at, 2) != "\\u") return fail("a high surrogate without its low half");
      at += 2;
      if (!readHex4(low)) return false;
      if (low < 0xDC00 || low > 0xDFFF) return fail("a high surrogate without its low half");
      code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
    }
    appendUtf8(code, out);
    return true;
  }

  bool readHex4(uint32_t& code) {
    const std::string_view digits = text.substr(at, 4);
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), code, 16);
    if (digits.size() < 4 || result.ptr != digits.data() + 4) return fail("\\u takes four hexadecimal digits");
    at += 4;
    return true;
  }

  static void appendUtf8(uint32_t code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
      return;
    }
    const int tail = code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    const uint8_t lead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(lead[tail] | (code >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((code >> (6 * i)) & 0x3F));
  }

  // JSON's number grammar exactly: no leading '+', no leading zeros, no
  // bare '.', no hexadecimal, nothing a double cannot hold.
  bool readNumber(double& out) {
    const size_t start = at;
    take('-');
    if (!take('0') && !digits()) return fail("not a value");
    if (take('.') && !digits()) return fail("a number ends in '.'");
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (!digits()) return fail("a number's exponent has no digits");
    }
    const auto result = std::from_chars(text.data() + start, text.data() + at, out);
    if (result.ec != std::errc() || !std::isfinite(out)) return fail("a number too large");
    return true;
  }

  // One or more digits.
  bool digits() {
    const size_t start = at;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at > start;
  }

  bool readWord(std::string_view word) {
    if (text.substr(at, word.size()) != word) return fail("not a value");
    at += word.size();
    return true;
  }

  void skipSpace() {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n')) ++at;
  }

  bool take(char c) {
    if (at == text.size() || text[at] != c) return false;
    ++at;
    return true;
  }

  bool expect(char c) { return take(c) || fail(std::string("'") + c + "' expected"); }

  bool fail(const std::string& why) {
    if (error.empty()) error = why + " at column " + std::to_string(at + 1);
    return false;
  }

  std::string_view text;
  size_t at = 0;
  std::string error;
};

using Kind = JsonScalar::Kind;

// Each setter takes a value of its key, or says why not; null leaves the
// default.
std::string setText(const JsonScalar& value, std::string& field) {
  if (value.kind == Kind::kNull) return "";
  if (value.kind != Kind::kString || value.text.empty()) return "takes a non-empty string";
  field = value.text;
  return "";
}

std::string setFlag(const JsonScalar& value, bool& field) {
  if (value.kind == Kind::kNull) return "";
  if (value.kind != Kind::kBoolean) return "takes true or false";
  field = value.boolean;
  return "";
}

std::string setNumber(const JsonScalar& value, double low, double high, double& field) {
  if (value.kind == Kind::kNull) return "";
  if (value.kind != Kind::kNumber || !(value.number >= low && value.number <= high))
    return "takes a number from " + std::to_string(static_cast<long long>(low)) + " to " +
           std::to_string(static_cast<long long>(high));
  field = value.number;
  return "";
}

struct KeyRule {
  const char* key;
  std::string (*set)(const JsonScalar&, RenderJob&);
};

const KeyRule kKeys[] = {
    {"plugin", [](const JsonScalar& v, RenderJob& job) { return setText(v, job.plugin); }},
    {"out", [](const JsonScalar& v, RenderJob& job) { return setText(v, job.out); }},
    {"midi", [](const JsonScalar& v, RenderJob& job) { return setText(v, job.midi); }},
    {"preset", [](const JsonScalar& v, RenderJob& job) { return setText(v, job.presetIn); }},
    {"vst2", [](const JsonScalar& v, RenderJob& job) { return setFlag(v, job.vst2); }},
    {"sr", [](const JsonScalar& v, RenderJob& job) { return setNumber(v, kMinSampleRate, kMaxSampleRate, job.sampleRate); }},
    {"seconds",
     [](const JsonScalar& v, RenderJob& job) {
       double seconds = job.seconds.value_or(0);
       const std::string why = setNumber(v, 0, kMaxRenderSeconds, seconds);
       if (why.empty() && v.kind != Kind::kNull) job.seconds = seconds;
       return why;
     }},
};

// The job a line describes, or why there is none.
std::string jobFrom(std::string_view line, RenderJob& job) {
  const FlatObjectRead read = readFlatObject(line);
  if (!read.error.empty()) return read.error;
  for (const auto& field : read.fields) {
    const std::string& key = field.first;
    const KeyRule* rule = std::find_if(std::begin(kKeys), std::end(kKeys), [&](const KeyRule& r) { return key == r.key; });
    if (rule == std::end(kKeys)) return "unknown key \"" + key + "\"";
    if (const std::string why = rule->set(field.second, job); !why.empty()) return "\"" + key + "\" " + why;
  }
  if (job.plugin.empty()) return "\"plugin\" is missing";
  if (job.out.empty()) return "\"out\" is missing";
  return "";
}

bool blank(std::string_view line) {
  return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

}  // namespace

FlatObjectRead readFlatObject(std::string_view text) { return FlatObjectReader(text).read(); }

JobsRead readJobs(std::istream& in, const RenderJob& defaults) {
  JobsRead read;
  std::map<std::string, size_t> writers;
  std::string text;
  for (size_t line = 1; std::getline(in, text); ++line) {
    if (blank(text)) continue;
    RenderJob job = defaults;
    job.plugin.clear();
    job.out.clear();
    std::string why = jobFrom(text, job);
    if (why.empty() && !writers.emplace(job.out, line).second)
      why = "\"out\" " + job.out + " is written by line " + std::to_string(writers[job.out]) + " already";
    if (!why.empty()) {
      read.error = "line " + std::to_string(line) + ": " + why;
      read.jobs.clear();
      return read;
    }
    read.jobs.push_back({line, job});
  }
  return read;
}

}  // namespace corvel
