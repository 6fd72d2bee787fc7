#include "KlfLog.h"

#include <cstdio>

namespace vireon {

TKlfLogging::TKlfLogging(TEngine& engine, const std::string& fileName)
    : Engine(engine), Writer(std::make_unique<TLog_Router>(engine, fileName)) {
  Writer->SetReportHandler([this](const TLogReport& report) {
    if (report.Fatal()) Failed.store(true);
    std::fprintf(stderr, "vireon-decode: %s\n", report.Text.c_str());
  });
  Writer->Start();
  Engine.SetHost(this);
  Engine.SetLogSink(Writer.get());
}

TKlfLogging::~TKlfLogging() {
  Engine.SetLogSink(nullptr);
  Engine.SetHost(nullptr);
  Writer->RequestStop();
  Writer->Join();
}

void TKlfLogging::ShowScanWarning(const char* text) {
  if (!Warned.exchange(true)) std::fprintf(stderr, "vireon-decode: warning: %s\n", text);
}

}  // namespace vireon
