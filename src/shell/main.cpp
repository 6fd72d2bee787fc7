// vireon-logger: the data logger. No command line; the port dialog is the first window.
#include <exception>

#include "shell/Application.h"

int main(int argc, char** argv) {
  vireon::TApplication app(argc, argv);
  try {
    vireon::CreateProcessObjects();
    vireon::CreateForms();
    app.exec();
  } catch (const std::exception& e) {
    vireon::ShowException(e.what());
  }
  return 0;
}
