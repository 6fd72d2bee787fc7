#pragma once
// A fresh engine and main window per test, torn down the way the program closes.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <vector>

#include "link/Packet.h"
#include "model/Engine.h"
#include "shell/MainForm.h"

namespace vireon {

// Serves the event loop for ms milliseconds, sleeping while there is nothing to do.
inline void Serve(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Serves the event loop until cond holds or ms pass; the result of the last check.
inline bool WaitFor(const std::function<bool()>& cond, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!cond()) {
    if (t.elapsed() > ms) return false;
    Serve(20);
  }
  return true;
}

inline void Feed(TEngine& engine, uint8_t type, const std::vector<uint8_t>& payload) {
  PacketRecord record;
  BuildFrame(record, type, payload.data(), static_cast<int>(payload.size()));
  engine.Dispatch(record);
}

// Receiver configuration: present-mask, then per receiver low edge, high edge and step code.
std::vector<uint8_t> ConfigPayload(uint8_t mask, uint32_t low1, uint32_t high1, uint16_t step1,
                                   uint32_t low2, uint32_t high2, uint16_t step2);

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  TMain_Form* Form = nullptr;
};

}  // namespace vireon
