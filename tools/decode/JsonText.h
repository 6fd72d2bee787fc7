#pragma once
// Text written straight into an output buffer, for the decoder's JSON Lines and the exports:
// numbers, JSON strings and a JSON writer that puts the commas. The JSON is byte for byte what
// nlohmann::json's dump() writes: integers as digits, a double in the shortest form its Grisu2
// gives ("30.0" for an integral one, "1e-05", "null" for NaN and infinity), strings with '"' and
// '\' escaped, control characters as \b \f \n \r \t or \u00xx, everything else as it is.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vireon {

void AppendInt(std::string& out, int64_t value);
void AppendUInt(std::string& out, uint64_t value);
// value with `decimals` digits after the point, as the exports write it.
void AppendFixed(std::string& out, double value, int decimals);
void AppendJsonDouble(std::string& out, double value);
// A JSON string of UTF-8 text.
void AppendJsonString(std::string& out, std::string_view text);
// A JSON string of 8-bit text, each byte taken as the code point of the same value.
void AppendJsonLatin1(std::string& out, std::string_view text);
// Lowercase hex of n bytes.
void AppendHex(std::string& out, const uint8_t* bytes, size_t n);

// Puts the commas and the keys; the caller opens and closes every object and array it starts.
// Writes at the end of out through a cursor, with room made ahead a line at a time: appending to
// the string a character at a time costs more than the formatting. out has its true size again
// when the writer goes, and must not be touched while it lives.
class TJsonWriter {
 public:
  explicit TJsonWriter(std::string& out) : Out(out), Data(out.data()), At(out.size()) {}
  ~TJsonWriter() { Out.resize(At); }
  TJsonWriter(const TJsonWriter&) = delete;
  TJsonWriter& operator=(const TJsonWriter&) = delete;

  TJsonWriter& BeginObject() { return Open('{'); }
  TJsonWriter& EndObject() { return Close('}'); }
  TJsonWriter& BeginArray() { return Open('['); }
  TJsonWriter& EndArray() { return Close(']'); }
  // `"key":` after a comma when a member came before; key needs no escaping.
  TJsonWriter& Key(std::string_view key) {
    Room(key.size() + 4);
    if (Separate) Data[At++] = ',';
    Data[At++] = '"';
    Put(key);
    Data[At++] = '"';
    Data[At++] = ':';
    Separate = false;
    return *this;
  }

  TJsonWriter& Int(int64_t v);
  TJsonWriter& UInt(uint64_t v);
  TJsonWriter& Double(double v);
  TJsonWriter& Bool(bool v) {
    Value(5);
    Put(v ? std::string_view("true") : std::string_view("false"));
    return *this;
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
    if (At + n > Out.size()) Grow(n);
  }
  void Put(std::string_view text) {
    std::memcpy(Data + At, text.data(), text.size());
    At += text.size();
  }
  TJsonWriter& Open(char c) {
    Value(0);
    Data[At++] = c;
    Separate = false;
    return *this;
  }
  TJsonWriter& Close(char c) {
    Room(1);
    Data[At++] = c;
    Separate = true;
    return *this;
  }
  // Room for a value of up to n characters and the comma before it.
  void Value(size_t n) {
    Room(n + 1);
    if (Separate) Data[At++] = ',';
    Separate = true;
  }
  template <bool kLatin1>
  TJsonWriter& Text(std::string_view v);

  std::string& Out;
  char* Data;
  size_t At;              // where the next character goes
  bool Separate = false;  // a value came before in the object or array being written
};

}  // namespace vireon
