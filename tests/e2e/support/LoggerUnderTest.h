#pragma once
// The logger as the port dialog's OK leaves it, on the simulator's terminal: engine, main window
// with its display threads, and the communications thread, all reached through the process-wide
// pointers as in the program, and stopped the program's way (StopWorkers).

#include <memory>
#include <string>

#include "display/RRouter.h"
#include "gps/Gps.h"
#include "link/ComRouter.h"
#include "model/Engine.h"
#include "shell/Globals.h"
#include "shell/MainForm.h"
#include "shell/Shutdown.h"

namespace vireon::test {

struct TLoggerUnderTest {
  explicit TLoggerUnderTest(const std::string& device) {
    Engine = &Model;
    Gps = &GpsRecord;
    Model.LinkMode = 1;
    Model.PortNumber = 0;
    Rs232.SetDevicePath(device);
    Form = std::make_unique<TMain_Form>();
    Main_Form = Form.get();
    Model.SetHost(Form.get());
    Com = std::make_unique<TCom_Router>(Model, Usb, Rs232);
    ComRouter = Com.get();
  }
  ~TLoggerUnderTest() {
    StopWorkers();
    for (TR_Router*& r : ReceiverRouters) {
      delete r;
      r = nullptr;
    }
    ComRouter = nullptr;
    Main_Form = nullptr;
    Engine = nullptr;
    Gps = nullptr;
  }

  TGPSShared GpsRecord;
  TEngine Model{GpsRecord};
  TUSB Usb;
  TRS232 Rs232;
  std::unique_ptr<TMain_Form> Form;
  std::unique_ptr<TCom_Router> Com;
};

}  // namespace vireon::test
