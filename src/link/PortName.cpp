#include "link/PortName.h"

#include <algorithm>
#include <cctype>

#include "link/Rs232.h"
#include "link/Usb.h"
#include "model/Engine.h"

namespace vireon {

namespace {

std::string Trimmed(const std::string& text) {
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  auto begin = std::find_if_not(text.begin(), text.end(), blank);
  auto end = std::find_if_not(text.rbegin(), text.rend(), blank).base();
  return begin < end ? std::string(begin, end) : std::string();
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

TPortChoice ParsePortName(const std::string& name) {
  TPortChoice c;
  const std::string text = Trimmed(name);
  const std::string upper = Upper(text);
  if (upper == "USB" || upper.rfind("USB ", 0) == 0) {
    c.LinkMode = 2;
    c.UsbSerial = Trimmed(text.substr(3));
    return c;
  }
  for (int n = 1; n <= 4; ++n) {
    if (upper == "COM" + std::to_string(n) + ":") {
      c.PortNumber = static_cast<int16_t>(n);
      return c;
    }
  }
  c.DevicePath = text;
  return c;
}

void ApplyPortChoice(const TPortChoice& choice, TEngine& engine, TRS232& rs232, TUSB& usb) {
  engine.LinkMode.store(choice.LinkMode);
  engine.PortNumber.store(choice.PortNumber);
  rs232.SetDevicePath(choice.DevicePath);
  usb.SetSerial(choice.UsbSerial);
}

}  // namespace vireon
