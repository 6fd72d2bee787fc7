#include "JsonText.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
// Only the number formatter of the JSON library, not its document model: its Grisu2 picks the
// digits, and the shortest round trip (std::to_chars) differs from it in the last digit of about
// one latitude in two thousand.
#include <nlohmann/detail/conversions/to_chars.hpp>

namespace vireon {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// What a byte below 0x20, '"' or '\' becomes; empty for a byte written as it is.
struct TEscapes {
  char Text[128][7] = {};
  constexpr TEscapes() {
    for (int c = 0; c < 0x20; ++c) {
      const char u[] = {'\\', 'u', '0', '0', kHexDigits[c >> 4], kHexDigits[c & 15], 0};
      for (int k = 0; k < 7; ++k) Text[c][k] = u[k];
    }
    const char* shortForms[][2] = {{"\b", "\\b"}, {"\f", "\\f"},  {"\n", "\\n"}, {"\r", "\\r"},
                                   {"\t", "\\t"}, {"\"", "\\\""}, {"\\", "\\\\"}};
    for (const auto& [from, to] : shortForms) {
      char* text = Text[static_cast<unsigned char>(from[0])];
      text[0] = to[0], text[1] = to[1], text[2] = 0;
    }
  }
};
constexpr TEscapes kEscapes;

// The two hex digits of every byte.
struct THexPairs {
  char Text[256][2] = {};
  constexpr THexPairs() {
    for (int b = 0; b < 256; ++b) Text[b][0] = kHexDigits[b >> 4], Text[b][1] = kHexDigits[b & 15];
  }
};
constexpr THexPairs kHexPairs;

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == '"' || c == '\\';
}

// Writes text as a JSON string at to, which has room for six characters a byte; the end.
template <bool kLatin1>
char* WriteString(char* to, std::string_view text) {
  *to++ = '"';
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (kLatin1 && c >= 0x80) {
      *to++ = static_cast<char>(0xC0 | (c >> 6));
      *to++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (NeedsEscape(c)) {
      for (const char* e = kEscapes.Text[c]; *e != 0;) *to++ = *e++;
    } else {
      *to++ = byte;
    }
  }
  *to++ = '"';
  return to;
}

// value = m * 2^-shift exactly, so value * 10^decimals rounded half to even, as std::to_chars
// rounds, is integer arithmetic: for the exports' coordinates, heights and frequencies about ten
// times faster. nullptr for a value outside that range, left to std::to_chars.
char* WriteFixedExactly(char* to, double value, int decimals) {
  static constexpr uint64_t kPow10[] = {1,      10,      100,      1000,      10000,
                                        100000, 1000000, 10000000, 100000000, 1000000000};
  if (decimals < 0 || decimals > 9) return nullptr;
  const auto bits = std::bit_cast<uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  uint64_t m = bits & ((uint64_t{1} << 52) - 1);
  if (biased != 0) m |= uint64_t{1} << 52;
  // Below 2^30, and not so small that the shift overflows; zero takes any shift.
  const int shift = m == 0 ? 53 : 1075 - std::max(biased, 1);
  if (biased == 0x7FF || shift < 23 || shift > 120) return nullptr;
  __extension__ typedef unsigned __int128 U128;  // GCC and Clang both have it
  const U128 scaled = static_cast<U128>(m) * kPow10[decimals];
  uint64_t q = static_cast<uint64_t>(scaled >> shift);
  const U128 rest = scaled - (static_cast<U128>(q) << shift), half = U128{1} << (shift - 1);
  if (rest > half || (rest == half && (q & 1) != 0)) ++q;
  if (std::signbit(value)) *to++ = '-';
  char digits[24];
  const int n = static_cast<int>(std::to_chars(digits, digits + sizeof digits, q).ptr - digits);
  const int whole = n - decimals;
  if (whole <= 0) {
    *to++ = '0';
    *to++ = '.';
    for (int k = whole; k < 0; ++k) *to++ = '0';
    std::memcpy(to, digits, static_cast<size_t>(n));
    return to + n;
  }
  std::memcpy(to, digits, static_cast<size_t>(whole));
  to += whole;
  if (decimals == 0) return to;
  *to++ = '.';
  std::memcpy(to, digits + whole, static_cast<size_t>(decimals));
  return to + decimals;
}

}  // namespace

void AppendInt(std::string& out, int64_t value) {
  char text[24];
  out.append(text, static_cast<size_t>(std::to_chars(text, text + sizeof text, value).ptr - text));
}

void AppendFixed(std::string& out, double value, int decimals) {
  char text[352];
  char* end = WriteFixedExactly(text, value, decimals);
  if (end == nullptr)
    end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
  out.append(text, static_cast<size_t>(end - text));
}

void TJsonWriter::Grow(size_t n) {
  Out.resize(At + n + kAhead);
  Data = Out.data();
  Size = Out.size();
}

TJsonWriter& TJsonWriter::Double(double v) {
  char* p = Start(64);
  if (std::isfinite(v)) return Done(nlohmann::detail::to_chars(p, p + 64, v));
  std::memcpy(p, "null", 4);
  return Done(p + 4);
}

TJsonWriter& TJsonWriter::Hex(const uint8_t* bytes, size_t n) {
  char* text = Start(2 * n + 2);
  *text++ = '"';
  for (size_t k = 0; k < n; ++k, text += 2) std::memcpy(text, kHexPairs.Text[bytes[k]], 2);
  *text++ = '"';
  return Done(text);
}

template <bool kLatin1>
TJsonWriter& TJsonWriter::Text(std::string_view v) {
  return Done(WriteString<kLatin1>(Start(6 * v.size() + 2), v));
}

template TJsonWriter& TJsonWriter::Text<false>(std::string_view);
template TJsonWriter& TJsonWriter::Text<true>(std::string_view);

}  // namespace vireon
