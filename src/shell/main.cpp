// vireon-logger: the data logger. No command line beyond --help and --version; the port dialog
// is the first window.
#include <cstdio>
#include <exception>

#include "platform/CommandLine.h"
#include "shell/Application.h"

namespace {
constexpr const char* kUsage =
    "Usage: vireon-logger [--help | --version]\n"
    "The Vireon Data Logger: shows the Vireon instrument's readings live, logs every packet to a\n"
    "KLF file and hands position and level to the Marlune mapping program. It has no other\n"
    "options: the port is chosen in its first window.\n"
    "\n"
    "  --help     show this help and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "Exit status: 0 success, 2 usage error, 1 a failure during the run.\n";
}  // namespace

int main(int argc, char** argv) {
  if (auto code = vireon::AnswerStandardOption(argc, argv, "vireon-logger", kUsage)) return *code;
  if (argc > 1) {
    std::fputs(kUsage, stderr);
    return vireon::kExitUsage;
  }
  vireon::TApplication app(argc, argv);
  try {
    vireon::CreateProcessObjects();
    vireon::CreateForms();
    vireon::CloseOnStopSignals();
    app.exec();
  } catch (const std::exception& e) {
    vireon::ShowException(e.what());
    return vireon::kExitFailure;
  }
  return vireon::kExitOk;
}
