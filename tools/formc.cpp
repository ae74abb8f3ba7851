// formc: compiles a readable form description into the binary form resource ("TPF0") that TReader loads.
// Host build tool; standard C++17 only. Usage: formc <input.txt> <output.bin>
//
// Text syntax (one statement per line, "//" starts a comment):
//   object Name: TClass        opens an object; its properties come first, then its child objects
//     Prop = value             Prop may be a dotted path (Font.Height)
//   end                        closes the innermost object
// Values: integers (decimal, optionally negative, or hex as $FF / 0xFF giving a 32-bit pattern),
// 'strings' (UTF-8, '' for a quote), identifiers (enumeration values, handler names), True, False, nil.
// Only the value forms TReader accepts are written; the smallest integer tag that holds the value is chosen.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../framework/FormFormat.h"

namespace {

// Value tags of the binary form format (only those the reader accepts).
constexpr uint8_t vaNull = 0;    // end of a property or child list
constexpr uint8_t vaInt8 = 2;
constexpr uint8_t vaInt16 = 3;
constexpr uint8_t vaInt32 = 4;
constexpr uint8_t vaString = 6;  // short string: one length byte
constexpr uint8_t vaIdent = 7;
constexpr uint8_t vaFalse = 8;
constexpr uint8_t vaTrue = 9;
constexpr uint8_t vaNil = 13;

constexpr size_t MaxShortString = 255;
// Shared with the form reader, so that what one writes the other reads; keeps the recursive parser's stack
// small on hostile input.
constexpr int MaxNesting = MaxFormNesting;

struct CompileError {
  int line;
  std::string message;
};

[[noreturn]] void Fail(int line, const std::string& message) { throw CompileError{line, message}; }

enum class TokKind { Ident, Number, String, Colon, Equals, Dot, Newline, End };

struct Token {
  TokKind kind;
  int line;
  std::string text;   // identifier text, string bytes (UTF-8), or the number's spelling
  int32_t number = 0;
};

bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

bool EqualsNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string LowerAscii(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

// Strict UTF-8 check (no overlongs, no surrogates): the program decodes captions as UTF-8, and a stray
// byte would silently become a wrong character there. Its decoder drops four-byte sequences, so
// characters beyond U+FFFF are refused here rather than vanishing at run time.
bool IsValidUtf8(const std::string& s) {
  size_t i = 0, n = s.size();
  while (i < n) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t extra;
    uint32_t cp;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { extra = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { extra = 2; cp = c & 0x0F; }
    else return false;
    if (n - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if (extra == 2 && cp < 0x800) return false;
    if (cp >= 0xD800 && cp <= 0xDFFF) return false;
    i += extra + 1;
  }
  return true;
}

class Lexer {
 public:
  explicit Lexer(const std::string& src) : src_(src) {
    if (src_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;  // editors may add a byte-order mark
  }

  Token Next() {
    for (;;) {
      if (pos_ >= src_.size()) {
        // Report the end of file on the last line that exists, not on the empty one after a final newline.
        int line = (line_ > 1 && !src_.empty() && src_.back() == '\n') ? line_ - 1 : line_;
        return Token{TokKind::End, line, ""};
      }
      char c = src_[pos_];
      if (c == ' ' || c == '\t' || c == '\r') { ++pos_; continue; }
      if (c == '/' && pos_ + 1 < src_.size() && src_[pos_ + 1] == '/') {
        while (pos_ < src_.size() && src_[pos_] != '\n') ++pos_;
        continue;
      }
      break;
    }
    char c = src_[pos_];
    int line = line_;
    if (c == '\n') {
      ++pos_;
      ++line_;
      return Token{TokKind::Newline, line, ""};
    }
    if (IsIdentStart(c)) {
      size_t start = pos_;
      while (pos_ < src_.size() && IsIdentChar(src_[pos_])) ++pos_;
      return Token{TokKind::Ident, line, src_.substr(start, pos_ - start)};
    }
    if ((c >= '0' && c <= '9') || c == '-' || c == '$') return LexNumber();
    if (c == '\'') return LexString();
    ++pos_;
    if (c == ':') return Token{TokKind::Colon, line, ":"};
    if (c == '=') return Token{TokKind::Equals, line, "="};
    if (c == '.') return Token{TokKind::Dot, line, "."};
    unsigned char uc = static_cast<unsigned char>(c);
    char buf[64];
    if (uc >= 0x21 && uc < 0x7F)
      std::snprintf(buf, sizeof buf, "unexpected character '%c'", c);
    else
      std::snprintf(buf, sizeof buf, "unexpected byte 0x%02X outside a string", uc);
    Fail(line, buf);
  }

 private:
  Token LexNumber() {
    int line = line_;
    size_t start = pos_;
    // Take the whole word so that "12px" or "1.5" is reported as one bad number, not as two tokens.
    if (src_[pos_] == '-') ++pos_;
    while (pos_ < src_.size() && (IsIdentChar(src_[pos_]) || src_[pos_] == '$' || src_[pos_] == '.')) ++pos_;
    std::string spelling = src_.substr(start, pos_ - start);

    bool negative = spelling[0] == '-';
    std::string body = negative ? spelling.substr(1) : spelling;
    int base = 10;
    if (!body.empty() && body[0] == '$') {
      base = 16;
      body = body.substr(1);
    } else if (body.size() > 1 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
      base = 16;
      body = body.substr(2);
    }
    if (body.empty()) Fail(line, "bad number '" + spelling + "'");
    uint64_t magnitude = 0;
    for (char d : body) {
      int v;
      if (d >= '0' && d <= '9') v = d - '0';
      else if (base == 16 && d >= 'a' && d <= 'f') v = d - 'a' + 10;
      else if (base == 16 && d >= 'A' && d <= 'F') v = d - 'A' + 10;
      else Fail(line, "bad number '" + spelling + "'");
      magnitude = magnitude * base + uint64_t(v);
      if (magnitude > 0xFFFFFFFFull) Fail(line, "value out of range: " + spelling);
    }
    int64_t value;
    if (base == 16) {
      // Hex spells a 32-bit pattern, so colour values like $8000000F read as the platform stores them.
      if (negative) Fail(line, "bad number '" + spelling + "' (hex values cannot be negative)");
      value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    } else {
      value = negative ? -int64_t(magnitude) : int64_t(magnitude);
      if (value < INT32_MIN || value > INT32_MAX) Fail(line, "value out of range: " + spelling);
    }
    Token t{TokKind::Number, line, spelling};
    t.number = static_cast<int32_t>(value);
    return t;
  }

  Token LexString() {
    int line = line_;
    ++pos_;  // opening quote
    std::string bytes;
    for (;;) {
      if (pos_ >= src_.size() || src_[pos_] == '\n' || src_[pos_] == '\r')
        Fail(line, "unterminated string");
      char c = src_[pos_++];
      if (c == '\'') {
        if (pos_ < src_.size() && src_[pos_] == '\'') {
          bytes += '\'';
          ++pos_;
          continue;
        }
        break;
      }
      bytes += c;
    }
    if (!IsValidUtf8(bytes)) Fail(line, "string is not valid UTF-8 or has a character beyond U+FFFF");
    return Token{TokKind::String, line, bytes};
  }

  const std::string& src_;
  size_t pos_ = 0;
  int line_ = 1;
};

const char* KindName(TokKind k) {
  switch (k) {
    case TokKind::Ident: return "identifier";
    case TokKind::Number: return "number";
    case TokKind::String: return "string";
    case TokKind::Colon: return "':'";
    case TokKind::Equals: return "'='";
    case TokKind::Dot: return "'.'";
    case TokKind::Newline: return "end of line";
    case TokKind::End: return "end of file";
  }
  return "token";
}

std::string Describe(const Token& t) {
  switch (t.kind) {
    case TokKind::Ident: return "'" + t.text + "'";
    case TokKind::Number: return "number " + t.text;
    case TokKind::String: return "a string";
    default: return KindName(t.kind);
  }
}

class Compiler {
 public:
  explicit Compiler(const std::string& src) : lexer_(src) { Advance(); }

  std::vector<uint8_t> Compile() {
    out_ = {'T', 'P', 'F', '0'};
    SkipNewlines();
    if (tok_.kind == TokKind::End) Fail(tok_.line, "no object in the file");
    if (!(tok_.kind == TokKind::Ident && EqualsNoCase(tok_.text, "object")))
      Fail(tok_.line, "expected 'object', found " + Describe(tok_));
    int openLine = tok_.line;
    Advance();
    CompileObject(0, openLine);
    SkipNewlines();
    if (tok_.kind != TokKind::End)
      Fail(tok_.line, "unexpected " + Describe(tok_) + " after the root object's 'end'");
    return out_;
  }

 private:
  void Advance() { tok_ = lexer_.Next(); }

  void SkipNewlines() {
    while (tok_.kind == TokKind::Newline) Advance();
  }

  Token Expect(TokKind kind, const char* what) {
    if (tok_.kind != kind) Fail(tok_.line, std::string("expected ") + what + ", found " + Describe(tok_));
    Token t = tok_;
    Advance();
    return t;
  }

  void ExpectLineEnd() {
    if (tok_.kind == TokKind::End) return;
    if (tok_.kind != TokKind::Newline) Fail(tok_.line, "unexpected " + Describe(tok_) + " (one statement per line)");
    Advance();
  }

  void WriteShortString(int line, const std::string& s, const char* what) {
    if (s.size() > MaxShortString)
      Fail(line, std::string(what) + " longer than 255 bytes (" + std::to_string(s.size()) + ")");
    out_.push_back(static_cast<uint8_t>(s.size()));
    out_.insert(out_.end(), s.begin(), s.end());
  }

  void WriteInteger(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    if (v >= -128 && v <= 127) {
      out_.push_back(vaInt8);
      out_.push_back(static_cast<uint8_t>(u));
    } else if (v >= -32768 && v <= 32767) {
      out_.push_back(vaInt16);
      out_.push_back(static_cast<uint8_t>(u));
      out_.push_back(static_cast<uint8_t>(u >> 8));
    } else {
      out_.push_back(vaInt32);
      for (int i = 0; i < 4; ++i) out_.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
  }

  // object Name: TClass NL { property | object } end  (the 'object' keyword is already consumed)
  void CompileObject(int depth, int openLine) {
    if (depth >= MaxNesting) Fail(openLine, "objects nested too deeply");
    Token name = Expect(TokKind::Ident, "an object name");
    Expect(TokKind::Colon, "':' after the object name");
    Token cls = Expect(TokKind::Ident, "a class name");
    ExpectLineEnd();

    auto seen = names_.find(LowerAscii(name.text));
    if (seen != names_.end())
      Fail(name.line, "duplicate object name '" + name.text + "' (first at line " + std::to_string(seen->second) + ")");
    names_[LowerAscii(name.text)] = name.line;

    WriteShortString(cls.line, cls.text, "class name");
    WriteShortString(name.line, name.text, "object name");

    std::set<std::string> props;
    bool childrenStarted = false;
    for (;;) {
      SkipNewlines();
      if (tok_.kind == TokKind::End)
        Fail(tok_.line, "missing 'end' for object '" + name.text + "' opened at line " + std::to_string(openLine));
      if (tok_.kind != TokKind::Ident) Fail(tok_.line, "unexpected " + Describe(tok_));
      Token first = tok_;
      Advance();
      bool isProperty = tok_.kind == TokKind::Equals || tok_.kind == TokKind::Dot;
      if (!isProperty && EqualsNoCase(first.text, "end")) {
        ExpectLineEnd();
        break;
      }
      if (!isProperty && EqualsNoCase(first.text, "object")) {
        if (!childrenStarted) {
          out_.push_back(vaNull);  // end of this object's properties
          childrenStarted = true;
        }
        CompileObject(depth + 1, first.line);
        continue;
      }
      if (!isProperty) Fail(tok_.line, "expected '=' after '" + first.text + "', found " + Describe(tok_));
      if (childrenStarted)
        Fail(first.line, "property '" + first.text + "' after a child object; properties come first");
      CompileProperty(first, props);
    }
    if (!childrenStarted) out_.push_back(vaNull);  // no children: properties end here
    out_.push_back(vaNull);                         // end of the child list
  }

  void CompileProperty(const Token& first, std::set<std::string>& props) {
    std::string path = first.text;
    while (tok_.kind == TokKind::Dot) {
      Advance();
      Token part = Expect(TokKind::Ident, "a property name after '.'");
      path += "." + part.text;
    }
    Expect(TokKind::Equals, "'=' after the property name");
    if (!props.insert(LowerAscii(path)).second) Fail(first.line, "property '" + path + "' set twice");
    WriteShortString(first.line, path, "property name");

    Token v = tok_;
    switch (v.kind) {
      case TokKind::Number:
        WriteInteger(v.number);
        break;
      case TokKind::String:
        out_.push_back(vaString);
        WriteShortString(v.line, v.text, "string");
        break;
      case TokKind::Ident:
        if (EqualsNoCase(v.text, "False")) out_.push_back(vaFalse);
        else if (EqualsNoCase(v.text, "True")) out_.push_back(vaTrue);
        else if (EqualsNoCase(v.text, "nil")) out_.push_back(vaNil);
        else {
          out_.push_back(vaIdent);
          WriteShortString(v.line, v.text, "identifier");
        }
        break;
      default:
        Fail(v.line, "expected a value for '" + path + "', found " + Describe(v));
    }
    Advance();
    ExpectLineEnd();
  }

  Lexer lexer_;
  Token tok_{TokKind::End, 0, ""};
  std::vector<uint8_t> out_;
  std::map<std::string, int> names_;
};

bool ReadWholeFile(const std::string& path, std::string& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return false;
  data = ss.str();
  return true;
}

// Written beside the target and renamed into place, so a failed run never leaves a partial resource.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data, std::string& error) {
  std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    if (!out) {
      error = "cannot create " + tmp + ": " + std::strerror(errno);
      return false;
    }
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    out.close();
    if (!out) {
      error = "cannot write " + tmp;
      std::remove(tmp.c_str());
      return false;
    }
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    error = "cannot rename " + tmp + " to " + path + ": " + std::strerror(errno);
    std::remove(tmp.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: formc <input.txt> <output.bin>\n";
    return 1;
  }
  const std::string inPath = argv[1];
  const std::string outPath = argv[2];

  std::string src;
  if (!ReadWholeFile(inPath, src)) {
    std::cerr << inPath << ": error: cannot read file\n";
    std::remove(outPath.c_str());
    return 1;
  }

  std::vector<uint8_t> bin;
  try {
    bin = Compiler(src).Compile();
  } catch (const CompileError& e) {
    std::cerr << inPath << ":" << e.line << ": error: " << e.message << "\n";
    // Like a compiler: a stale resource from an earlier run must not pass for this input's result.
    std::remove(outPath.c_str());
    return 1;
  }

  std::string error;
  if (!WriteFileAtomically(outPath, bin, error)) {
    std::cerr << "formc: error: " << error << "\n";
    std::remove(outPath.c_str());
    return 1;
  }
  return 0;
}
