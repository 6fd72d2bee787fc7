#include "log/KlfFile.h"

#include <cstring>

namespace vireon {

namespace {

void PutRecordStart(std::vector<uint8_t>& out, uint16_t length, uint8_t type) {
  out.push_back(static_cast<uint8_t>(length & 0xFF));
  out.push_back(static_cast<uint8_t>(length >> 8));
  out.push_back(type);
}

// XOR of the type byte and everything after it, as in a received frame.
void PutChecksum(std::vector<uint8_t>& out, size_t typeOffset) {
  uint8_t sum = 0;
  for (size_t i = typeOffset; i < out.size(); ++i) sum ^= out[i];
  out.push_back(sum);
}

void PutIdentity(std::vector<uint8_t>& out) {
  const size_t textSize = sizeof(kIdentityText) - 1;
  PutRecordStart(out, static_cast<uint16_t>(textSize + 2), kIdentityType);
  const size_t typeOffset = out.size() - 1;
  out.insert(out.end(), kIdentityText, kIdentityText + textSize);
  PutChecksum(out, typeOffset);
}

void PutSerial(std::vector<uint8_t>& out, const std::string& serial) {
  PutRecordStart(out, 11, kSerialType);
  const size_t typeOffset = out.size() - 1;
  uint8_t bytes[8] = {};
  std::memcpy(bytes, serial.data(), std::min<size_t>(serial.size(), sizeof bytes));
  out.insert(out.end(), bytes, bytes + sizeof bytes);
  out.push_back(0);
  PutChecksum(out, typeOffset);
}

// Laid out like a configuration packet, but the length field counts 2 x 12 + 1 and only
// 2 x 12 + 3 bytes are written: receiver 2's last byte and the checksum never reach the file.
void PutReceivers(std::vector<uint8_t>& out, const TModelSnapshot& state) {
  const int size = TRF::ConfigSize();
  PutRecordStart(out, static_cast<uint16_t>(2 * size + 1), 1);
  out.push_back(
      static_cast<uint8_t>((state.ReceiverActive[0] ? 1 : 0) | (state.ReceiverActive[1] ? 2 : 0)));
  uint8_t blocks[2][12] = {};
  for (int i = 0; i < 2; ++i) {
    if (state.ReceiverActive[i]) std::memcpy(blocks[i], state.Receivers[i].ConfigBytes(), size);
  }
  out.insert(out.end(), blocks[0], blocks[0] + size);
  out.insert(out.end(), blocks[1], blocks[1] + size - 1);
}

}  // namespace

std::vector<uint8_t> BuildKlfHeader(const TModelSnapshot& state) {
  std::vector<uint8_t> out(6, 0);
  PutIdentity(out);
  PutSerial(out, state.SerialNumber);
  PutReceivers(out, state);
  if (state.ScanInfoCaptured) {
    out.insert(out.end(), state.ScanInfoRecord.begin(), state.ScanInfoRecord.end());
  }
  return out;
}

std::optional<std::string> KlfFileName(const std::string& text) {
  const size_t dot = text.rfind('.');
  std::string name = dot == std::string::npos ? text : text.substr(0, dot);
  name += ".KLF";
  if (name.size() > static_cast<size_t>(kMaxLogFileName)) return std::nullopt;
  return name;
}

}  // namespace vireon
