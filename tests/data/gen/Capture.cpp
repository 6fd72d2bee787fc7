#include "Capture.h"

#include <algorithm>

#include "link/Packet.h"

namespace vireon::capture {

namespace {

void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}

void PutLe32(Bytes& out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<uint8_t>(v >> (8 * k)));
}

void PutBe16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

void PutBe32(uint8_t* p, int32_t v) {
  const auto u = static_cast<uint32_t>(v);
  for (int k = 0; k < 4; ++k) p[k] = static_cast<uint8_t>(u >> (24 - 8 * k));
}

// Small deterministic generator, so the captures never change between machines.
struct Lcg {
  uint32_t State;
  uint8_t Next() {
    State = State * 1103515245u + 12345u;
    return static_cast<uint8_t>(State >> 16);
  }
};

Bytes Config(uint8_t presence, uint32_t low0, uint32_t high0, uint16_t step0, uint8_t flags0,
             uint32_t low1, uint32_t high1, uint16_t step1, uint8_t flags1) {
  Bytes p{presence};
  PutLe32(p, low0);
  PutLe32(p, high0);
  p.push_back(static_cast<uint8_t>(step0));
  p.push_back(static_cast<uint8_t>(step0 >> 8));
  p.push_back(flags0);
  p.push_back(0x5A);  // reserved byte, kept as received
  PutLe32(p, low1);
  PutLe32(p, high1);
  p.push_back(static_cast<uint8_t>(step1));
  p.push_back(static_cast<uint8_t>(step1 >> 8));
  p.push_back(flags1);
  p.push_back(0);
  return p;
}

Bytes StandardConfig() {
  return Config(3, 28968, 29968, 7680, 1, 36000, 38000, 3200, 0);
}

Bytes ScanList(uint32_t first0, uint32_t first1) {
  Bytes p;
  for (uint32_t k = 0; k < 10; ++k) PutLe32(p, first0 + 3 * k);
  for (uint32_t k = 0; k < 10; ++k) PutLe32(p, first1 + 7 * k);
  return p;
}

Bytes Tuning(uint32_t current0, uint32_t current1) {
  Bytes p;
  PutLe32(p, current0);
  PutLe32(p, current1);
  return p;
}

Bytes Clock(int t, uint8_t marker) {
  return {static_cast<uint8_t>(t % 60), static_cast<uint8_t>(t / 60 % 60), 14, 8, 12, 26, marker};
}

Bytes Text(const char* text, size_t n) {
  return Bytes(text, text + n);
}

}  // namespace

Bytes Frame(uint8_t type, const Bytes& payload) {
  PacketRecord record;
  const int size = BuildFrame(record, type, payload.data(), static_cast<int>(payload.size()));
  return Bytes(record.FrameBytes(), record.FrameBytes() + size);
}

Bytes GpsReport(int t) {
  Bytes r(152, 0);
  r[0] = 0x40;  // not decoded, kept raw
  r[4] = 12;
  r[5] = 8;
  PutBe16(&r[6], 2026);
  r[8] = 14;
  r[9] = static_cast<uint8_t>(t / 60 % 60);
  r[10] = static_cast<uint8_t>(t % 60);
  PutBe32(&r[15], 198000000 + 36 * t);  // 55.0 N, moving north
  PutBe32(&r[19], -12600000 - 18 * t);  // 3.5 W
  PutBe32(&r[23], 12345);
  PutBe32(&r[27], 8765);
  PutBe32(&r[31], 198000000 + 40 * t);
  PutBe32(&r[35], -12600000 - 20 * t);
  PutBe32(&r[39], -250);
  PutBe32(&r[43], 4321);
  PutBe16(&r[47], 1250);
  PutBe16(&r[49], 1200);
  PutBe16(&r[51], (t * 450) % 3600);
  PutBe16(&r[53], 17);
  r[55] = 9;
  r[56] = 7;
  for (int c = 0; c < 12; ++c) {
    uint8_t* ch = &r[57 + 6 * c];
    ch[0] = static_cast<uint8_t>(c + 1);
    ch[1] = 8;
    ch[2] = static_cast<uint8_t>(40 + c);
    ch[3] = static_cast<uint8_t>(100 + c);
    ch[4] = static_cast<uint8_t>(c & 0x0F);
    ch[5] = static_cast<uint8_t>(0x80 | (c & 0x0F));
  }
  r[129] = 0xE0 | 0x10;  // 3D fix, filter reset
  r[130] = 0x40 | 0x06 | 0x01;
  PutBe16(&r[133], -321);
  PutBe32(&r[135], 98765);
  PutBe16(&r[139], 51);  // 25.5 degrees in halves
  r[141] = 0xC0 | 18;
  r[142] = 1;
  r[143] = 5;
  r[144] = 30;
  const char* id = "VRN-01";
  for (int k = 0; k < 6; ++k) r[145 + k] = static_cast<uint8_t>(id[k]);
  r[151] = 0x77;
  return r;
}

Bytes MixedStream() {
  Bytes s{0x00, 0x11, 0x22, 0x55};
  Append(s, Frame(28, Text("VX123456", 8)));
  Append(s, Frame(1, StandardConfig()));
  Append(s, {0x13, 0x37});
  Append(s, Frame(6, ScanList(28970, 36010)));
  Append(s, Frame(5, Tuning(28975, 36050)));
  Append(s, Frame(7, {0, 0, 0xB0, 1, 1, 0xA8, 0, 9, 0x90, 1, 9, 0xFF, 0, 3, 0xC4}));
  Append(s, Frame(9, {0, 0, 0, 0xB5, 1, 0x10, 0x00, 0xAA, 0, 0xFF, 0x0B, 0x88, 1, 1, 0, 0x80}));
  Append(s, Frame(2, {0x88, 0x87, 0x87}));  // -120 -121 -121
  Append(s, Frame(3, {}));
  Append(s, Frame(3, {0xB0, 0xB1, 0xB2, 0xB5}));
  Append(s, Frame(4, Clock(754, 17)));
  Append(s, {0xFF});
  Append(s, Frame(0, GpsReport(3)));
  Append(s, Frame(8, {1, 2, 3}));
  Append(s, Frame(200, {}));
  Append(s, Frame(1, Config(2, 0, 0, 0, 0, 40000, 41000, 6400, 1)));
  Append(s, Frame(7, {1, 2, 0xC8, 0, 2, 0xC8, 1, 3, 0xC9, 0, 4, 0xC8, 1, 4, 0xCA}));
  return s;
}

Bytes DamagedStream() {
  Bytes s;
  Append(s, {0xAA, 0x00, 0x00});  // length 0
  Append(s, Frame(28, Text("12345678XYZ", 11)));
  Append(s, {0xAA, 0x00, 0x08});  // length 2048
  Append(s, Frame(28, Text("ABC\0EFGH", 8)));
  Append(s, {0xAA, 0x34, 0x80});  // top bit of the high byte
  Append(s, Frame(1, StandardConfig()));
  Append(s, {0xAA, 0x02, 0x00, 0x1C, 0x1D});  // bad checksum
  Append(s, {0xAA, 0x01, 0x00, 0x00});        // length 1, body 0: an empty GPS report
  Append(s, {0xAA, 0x01, 0x00, 0x05});        // length 1, non-zero body: bad checksum
  Append(s, Frame(8, {0xAA, 0x05, 0x00, 0x07, 0xAA, 0xAA}));  // sync bytes inside a body
  Bytes big(2045);
  Lcg lcg{7};
  for (auto& b : big) b = lcg.Next();
  Append(s, Frame(27, big));  // the longest frame
  Append(s, Frame(1, {2}));   // short: receiver 1's block reads as zeros, not the stale bytes
  Append(s, Frame(6, {1, 0, 0, 0, 2, 0, 0, 0}));
  Append(s, Frame(5, {9}));
  Append(s, Frame(4, {}));
  Append(s, Frame(1, StandardConfig()));
  Append(s, Frame(7, {0, 12, 0xB0, 2, 9, 0xB1, 0xFF, 0, 0xB2, 0, 10, 0xB3, 0, 9, 0xB4}));
  Append(s, Frame(9, {0, 0x00, 0x0C, 0x90, 1, 0xFF, 0xFF, 0x91, 7, 0xFF, 0x0B, 0x92}));
  Bytes gps = GpsReport(100);
  gps.resize(20);
  Append(s, Frame(0, gps));
  Bytes heading = GpsReport(200);
  PutBe16(&heading[51], -1800);
  heading[145] = 0xE9;  // an 8-bit character in the ID tag
  Append(s, Frame(0, heading));
  Append(s, Frame(2, Bytes(300, 0x80)));  // the lowest level, many samples
  Bytes badSum = Frame(9, {0, 1, 0, 0xA0});
  badSum.back() ^= 0x01;
  Append(s, badSum);
  Append(s, {0xAA, 0x10, 0x00, 0x01, 0x02});  // cut off at the end of the capture
  return s;
}

Bytes SessionStream(int seconds) {
  Bytes s;
  Lcg lcg{12345};
  Append(s, Frame(28, Text("VX123456", 8)));
  Append(s, Frame(1, StandardConfig()));
  Append(s, Frame(6, ScanList(28970, 36010)));
  for (int t = 0; t < seconds; ++t) {
    Append(s, Frame(4, Clock(t, static_cast<uint8_t>(t / 10))));
    Append(s, Frame(0, GpsReport(t)));
    for (int sweep = 0; sweep < 4; ++sweep) {
      for (int half = 0; half < 4; ++half) {
        Bytes entries;
        for (int e = 0; e < 5; ++e) {
          entries.push_back(static_cast<uint8_t>(half / 2));
          entries.push_back(static_cast<uint8_t>((half % 2) * 5 + e));
          entries.push_back(static_cast<uint8_t>(-60 - (lcg.Next() % 60)));
        }
        Append(s, Frame(7, entries));
      }
    }
    Bytes samples(32);
    for (auto& b : samples) b = static_cast<uint8_t>(-70 - (lcg.Next() % 30));
    Append(s, Frame(static_cast<uint8_t>(2 + t % 2), samples));
    if (t % 7 == 3) Append(s, {lcg.Next(), lcg.Next()});  // line noise
  }
  return s;
}

Bytes DamagedLog(Bytes log) {
  if (log.size() < 12100) return log;
  log[4000] = 0xFF, log[4001] = 0x07;
  const Bytes garbage = {0x55, 0xAA, 0x13, 0x37, 0x01, 0xAA, 0x00, 0x00};
  std::copy(garbage.begin(), garbage.end(), log.begin() + 9000);
  log[12000] ^= 0x5A;
  log.resize(log.size() - 7);
  return log;
}

std::vector<Named> AllCaptures() {
  return {{"mixed", MixedStream()}, {"damaged", DamagedStream()}, {"session", SessionStream(30)}};
}

}  // namespace vireon::capture
