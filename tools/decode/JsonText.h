#pragma once
// Text written straight into an output buffer, for the decoder's JSON Lines and the exports:
// numbers, JSON strings and a JSON writer that puts the commas. The JSON is byte for byte what
// nlohmann::json's dump() writes: integers as digits, a double in the shortest form its Grisu2
// gives ("30.0" for an integral one, "1e-05", "null" for NaN and infinity), strings with '"' and
// '\' escaped, control characters as \b \f \n \r \t or \u00xx, everything else as it is.

#include <cstdint>
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
class TJsonWriter {
 public:
  explicit TJsonWriter(std::string& out) : Out(out) {}
  std::string& Text() { return Out; }

  TJsonWriter& BeginObject() { return Open('{'); }
  TJsonWriter& EndObject() { return Close('}'); }
  TJsonWriter& BeginArray() { return Open('['); }
  TJsonWriter& EndArray() { return Close(']'); }
  // `"key":` after a comma when a member came before; key needs no escaping.
  TJsonWriter& Key(std::string_view key) {
    if (Separate) Out += ',';
    Out += '"';
    Out.append(key);
    Out += "\":";
    Separate = false;
    return *this;
  }

  TJsonWriter& Int(int64_t v) { return Value(), AppendInt(Out, v), *this; }
  TJsonWriter& UInt(uint64_t v) { return Value(), AppendUInt(Out, v), *this; }
  TJsonWriter& Double(double v) { return Value(), AppendJsonDouble(Out, v), *this; }
  TJsonWriter& Bool(bool v) { return Value(), Out += v ? "true" : "false", *this; }
  TJsonWriter& String(std::string_view v) { return Value(), AppendJsonString(Out, v), *this; }
  TJsonWriter& Latin1(std::string_view v) { return Value(), AppendJsonLatin1(Out, v), *this; }
  TJsonWriter& Hex(const uint8_t* bytes, size_t n) {
    Value();
    Out += '"';
    AppendHex(Out, bytes, n);
    Out += '"';
    return *this;
  }

 private:
  TJsonWriter& Open(char c) {
    if (Separate) Out += ',';
    Out += c;
    Separate = false;
    return *this;
  }
  TJsonWriter& Close(char c) {
    Out += c;
    Separate = true;
    return *this;
  }
  void Value() {
    if (Separate) Out += ',';
    Separate = true;
  }

  std::string& Out;
  bool Separate = false;  // a value came before in the object or array being written
};

}  // namespace vireon
