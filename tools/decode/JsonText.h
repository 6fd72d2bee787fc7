#pragma once
// Text written straight into an output buffer, for the decoder's JSON Lines and the exports:
// numbers, and a JSON writer that puts the commas. The JSON is byte for byte what
// nlohmann::json's dump() writes: integers as digits, a double in the shortest form its Grisu2
// gives ("30.0" for an integral one, "1e-05", "null" for NaN and infinity), strings with '"' and
// '\' escaped, control characters as \b \f \n \r \t or \u00xx, everything else as it is.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vireon {

void AppendInt(std::string& out, int64_t value);
// value with `decimals` digits after the point, rounded as std::to_chars rounds.
void AppendFixed(std::string& out, double value, int decimals);

// Puts the commas and the keys; the caller opens and closes every object and array it starts.
// Writes at the end of out through a cursor, with room made ahead a line at a time: appending to
// the string a character at a time costs more than the formatting. out has its true size again
// when the writer goes, and must not be touched while it lives.
class TJsonWriter {
 public:
  explicit TJsonWriter(std::string& out)
      : Out(out), Data(out.data()), At(out.size()), Size(out.size()) {}
  ~TJsonWriter() { Out.resize(At); }
  TJsonWriter(const TJsonWriter&) = delete;
  TJsonWriter& operator=(const TJsonWriter&) = delete;

  TJsonWriter& BeginObject() { return Open('{'); }
  TJsonWriter& EndObject() { return Close('}'); }
  TJsonWriter& BeginArray() { return Open('['); }
  TJsonWriter& EndArray() { return Close(']'); }
  // `"key":` after a comma when a member came before; key needs no escaping.
  TJsonWriter& Key(std::string_view key) {
    char* p = Start(key.size() + 3);
    *p++ = '"';
    std::memcpy(p, key.data(), key.size());
    p += key.size();
    *p++ = '"';
    *p++ = ':';
    Separate = false;
    return Done(p);
  }

  TJsonWriter& Int(int64_t v) {
    char* p = Start(20);
    if (v > -1000 && v < 1000) {
      if (v < 0) *p++ = '-';
      return Done(WriteSmall(p, static_cast<unsigned>(v < 0 ? -v : v)));
    }
    return Done(std::to_chars(p, p + 20, v).ptr);
  }
  TJsonWriter& UInt(uint64_t v) {
    char* p = Start(20);
    return Done(v < 1000 ? WriteSmall(p, static_cast<unsigned>(v))
                         : std::to_chars(p, p + 20, v).ptr);
  }
  TJsonWriter& Double(double v);
  TJsonWriter& Bool(bool v) {
    char* p = Start(5);
    const std::string_view text = v ? "true" : "false";
    std::memcpy(p, text.data(), text.size());
    return Done(p + text.size());
  }
  TJsonWriter& String(std::string_view v) { return Text<false>(v); }
  TJsonWriter& Latin1(std::string_view v) { return Text<true>(v); }
  TJsonWriter& Hex(const uint8_t* bytes, size_t n);
  // Ends a line of JSON Lines.
  void LineEnd() {
    Room(1);
    Data[At++] = '\n';
    Separate = false;
  }

 private:
  // Room made beyond what is asked, zero-filled by the string: about a line's worth.
  static constexpr size_t kAhead = 512;
  void Grow(size_t n);
  void Room(size_t n) {
    if (Size - At < n) Grow(n);
  }
  // Where a value of up to n characters goes, after the comma it needs. Written through a local
  // pointer and handed back to Done: a store through char* could alias the members.
  char* Start(size_t n) {
    Room(n + 1);
    char* p = Data + At;
    if (Separate) *p++ = ',';
    Separate = true;
    return p;
  }
  TJsonWriter& Done(char* end) {
    At = static_cast<size_t>(end - Data);
    return *this;
  }
  TJsonWriter& Open(char c) {
    char* p = Start(1);
    *p++ = c;
    Separate = false;
    return Done(p);
  }
  TJsonWriter& Close(char c) {
    Room(1);
    Data[At++] = c;
    Separate = true;
    return *this;
  }
  // Levels, counts and indexes are mostly below 1000: no length search for them.
  static char* WriteSmall(char* to, unsigned v) {
    if (v >= 100) {
      *to++ = static_cast<char>('0' + v / 100);
      v %= 100;
      *to++ = static_cast<char>('0' + v / 10);
    } else if (v >= 10) {
      *to++ = static_cast<char>('0' + v / 10);
    }
    *to++ = static_cast<char>('0' + v % 10);
    return to;
  }
  template <bool kLatin1>
  TJsonWriter& Text(std::string_view v);

  std::string& Out;
  char* Data;
  size_t At;              // where the next character goes
  size_t Size;            // Out's size: the room made so far
  bool Separate = false;  // a value came before in the object or array being written
};

}  // namespace vireon
