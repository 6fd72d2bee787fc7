// Replays the captures and the log under tests/data through the decoder and compares with the
// expected output checked in beside them (rewritten by the regen-expected target).

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "Capture.h"
#include "PacketJson.h"
#include "RecordedLog.h"

namespace vireon {
namespace {

const char* const kCaptures[] = {"mixed", "damaged", "session"};
const char* const kLogs[] = {"logged", "logged-damaged"};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string DataPath(const std::string& name, const char* extension) {
  return std::string(VIREON_TEST_DATA) + "/" + name + extension;
}

// Feeds the capture in chunks of random size, as reads from a port arrive.
std::string DecodeInChunks(const std::string& capture, unsigned seed) {
  std::string out;
  TDecodeSession session([&](const PacketRecord& record, const TEngine& engine) {
    AppendPacketLine(out, record, engine);
  });
  std::mt19937 random(seed);
  std::uniform_int_distribution<size_t> size(1, 300);
  const auto* bytes = reinterpret_cast<const uint8_t*>(capture.data());
  for (size_t at = 0; at < capture.size();) {
    const size_t n = std::min(size(random), capture.size() - at);
    session.Feed(bytes + at, n);
    at += n;
  }
  session.AppendSummary(out);
  return out;
}

std::string RunProgram(const std::string& command, int& status) {
  std::FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  char block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, pipe)) > 0) out.append(block, got);
  status = pclose(pipe);
  return out;
}

std::string RunDecoder(const std::string& arguments, int& status) {
  return RunProgram(std::string(VIREON_BIN_DIR) + "/vireon-decode " + arguments, status);
}

TEST(Replay, CheckedInCapturesAreWhatTheGeneratorWrites) {
  for (const auto& capture : capture::AllCaptures()) {
    const std::string stored = ReadFile(DataPath(capture.Name, ".bin"));
    EXPECT_EQ(stored, std::string(capture.Stream.begin(), capture.Stream.end()))
        << capture.Name << ": run the regen-captures target and review";
  }
  const std::string log = testing::TempDir() + "/replay-logged.KLF";
  test::RecordLog(capture::SessionStream(30), log, 2);
  const std::string whole = ReadFile(log);
  std::remove(log.c_str());
  EXPECT_EQ(ReadFile(DataPath("logged", ".KLF")), whole) << "run regen-captures and review";
  const capture::Bytes damaged = capture::DamagedLog({whole.begin(), whole.end()});
  EXPECT_EQ(ReadFile(DataPath("logged-damaged", ".KLF")),
            std::string(damaged.begin(), damaged.end()))
      << "run regen-captures and review";
}

TEST(Replay, DecoderOutputMatchesTheExpectedFile) {
  for (const char* name : kCaptures) {
    int status = -1;
    const std::string out = RunDecoder("--summary " + DataPath(name, ".bin"), status);
    EXPECT_EQ(status, 0) << name;
    EXPECT_EQ(out, ReadFile(DataPath(name, ".jsonl"))) << name;
  }
  for (const char* name : kLogs) {
    int status = -1;
    const std::string out = RunDecoder("--summary " + DataPath(name, ".KLF"), status);
    EXPECT_EQ(status, 0) << name;
    EXPECT_EQ(out, ReadFile(DataPath(name, ".jsonl"))) << name;
  }
}

// The live decoder on the log played back by the simulator, as live_replay.sh runs it.
TEST(Replay, ALogPlayedToTheLiveDecoderMatchesTheExpectedFile) {
  int status = -1;
  const std::string out = RunProgram(std::string(VIREON_TEST_DATA) + "/gen/live_replay.sh " +
                                         VIREON_BIN_DIR + "/vireon-sim " + VIREON_BIN_DIR +
                                         "/vireon-decode " + DataPath("logged", ".KLF"),
                                     status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, ReadFile(DataPath("logged", "-live.jsonl")));
}

TEST(Replay, RandomChunkSizesDecodeLikeOneBlock) {
  for (const char* name : kCaptures) {
    const std::string capture = ReadFile(DataPath(name, ".bin"));
    const std::string expected = ReadFile(DataPath(name, ".jsonl"));
    for (unsigned seed = 1; seed <= 5; ++seed) {
      EXPECT_EQ(DecodeInChunks(capture, seed), expected) << name << " seed " << seed;
    }
  }
}

TEST(Replay, StandardInputDecodesLikeAFile) {
  int status = -1;
  const std::string out = RunDecoder("--summary - < " + DataPath("mixed", ".bin"), status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, ReadFile(DataPath("mixed", ".jsonl")));
}

TEST(Replay, MissingOrUnreadableFileExitsWithStatusTwo) {
  for (const std::string path : {"/nonexistent/capture.bin", VIREON_TEST_DATA}) {
    int status = -1;
    const std::string out = RunDecoder(path + " 2>&1", status);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << path;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(out.find(path), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace vireon
