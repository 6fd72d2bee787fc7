// One QApplication and the process-wide objects for every shell test.
#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "display/RRouter.h"
#include "gps/Gps.h"
#include "shell/Application.h"
#include "shell/Globals.h"
#include "shell/MainRouter.h"
#include "shell/MessageBox.h"
#include "shell/Shutdown.h"

namespace vireon {

std::vector<uint8_t> ConfigPayload(uint8_t mask, uint32_t low1, uint32_t high1, uint16_t step1,
                                   uint32_t low2, uint32_t high2, uint16_t step2) {
  std::vector<uint8_t> p(25, 0);
  p[0] = mask;
  auto put = [&p](int at, uint32_t low, uint32_t high, uint16_t step) {
    for (int k = 0; k < 4; ++k) p[at + k] = static_cast<uint8_t>(low >> (8 * k));
    for (int k = 0; k < 4; ++k) p[at + 4 + k] = static_cast<uint8_t>(high >> (8 * k));
    p[at + 8] = static_cast<uint8_t>(step);
    p[at + 9] = static_cast<uint8_t>(step >> 8);
  };
  put(1, low1, high1, step1);
  put(13, low2, high2, step2);
  return p;
}

void ShellTest::SetUp() {
  Engine = new TEngine(*Gps);
  Form = new TMain_Form;
  Main_Form = Form;
  Engine->SetHost(Form);
}

void ShellTest::TearDown() {
  Form->FormClose();
  for (TR_Router*& r : ReceiverRouters) {
    delete r;
    r = nullptr;
  }
  delete MainRouter;
  MainRouter = nullptr;
  Engine->SetHost(nullptr);
  delete Form;
  Main_Form = nullptr;
  delete Engine;
  Engine = nullptr;
  AbandonMessageBoxes(false);
}

}  // namespace vireon

int main(int argc, char** argv) {
  vireon::TApplication app(argc, argv);
  vireon::CreateProcessObjects();
  delete vireon::Engine;  // each test makes its own
  vireon::Engine = nullptr;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
