#include "JsonText.h"

#include <charconv>
#include <cmath>
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

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == '"' || c == '\\';
}

// Appends text up to the first byte that needs more than itself; the bytes taken.
template <bool kLatin1>
size_t AppendPlain(std::string& out, std::string_view text) {
  size_t n = 0;
  while (n < text.size()) {
    const auto c = static_cast<unsigned char>(text[n]);
    if (NeedsEscape(c) || (kLatin1 && c >= 0x80)) break;
    ++n;
  }
  out.append(text.data(), n);
  return n;
}

template <bool kLatin1>
void AppendString(std::string& out, std::string_view text) {
  out += '"';
  for (size_t at = 0; at < text.size();) {
    at += AppendPlain<kLatin1>(out, text.substr(at));
    if (at == text.size()) break;
    const auto c = static_cast<unsigned char>(text[at++]);
    if (c >= 0x80) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += kEscapes.Text[c];
    }
  }
  out += '"';
}

}  // namespace

void AppendInt(std::string& out, int64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void AppendUInt(std::string& out, uint64_t value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

void AppendFixed(std::string& out, double value, int decimals) {
  char text[40];
  const auto end =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  out.append(text, end.ptr);
}

void AppendJsonDouble(std::string& out, double value) {
  if (!std::isfinite(value)) {
    out += "null";
    return;
  }
  char text[64];
  out.append(text, nlohmann::detail::to_chars(text, text + sizeof text, value));
}

void AppendJsonString(std::string& out, std::string_view text) {
  AppendString<false>(out, text);
}

void AppendJsonLatin1(std::string& out, std::string_view text) {
  AppendString<true>(out, text);
}

void AppendHex(std::string& out, const uint8_t* bytes, size_t n) {
  const size_t at = out.size();
  out.resize(at + 2 * n);
  char* text = out.data() + at;
  for (size_t k = 0; k < n; ++k) {
    text[2 * k] = kHexDigits[bytes[k] >> 4];
    text[2 * k + 1] = kHexDigits[bytes[k] & 15];
  }
}

}  // namespace vireon
