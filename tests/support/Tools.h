#pragma once
// The command-line tools that make a test's inputs from real files and read its outputs:
// whether one is installed, running it quietly, and what sox hears in a WAV.
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Files.h"

namespace test_support {

// A path as one word of a shell command line.
inline std::string Quote(const std::filesystem::path& p) {
  std::string out = "'";
  for (char c : p.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

inline bool HaveTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Exit status of a shell command (output as the command leaves it).
inline int RunShell(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// True when the command succeeds; what it prints is dropped (its own redirections still
// apply).
inline bool Shell(const std::string& command) { return RunShell("(" + command + ") >/dev/null 2>&1") == 0; }

// What the command prints.
inline std::string Capture(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

// The samples of any WAV as sox reads them, as raw signed 16-bit little-endian bytes
// (written beside it); empty when sox cannot read it.
inline std::vector<uint8_t> SoxPcm(const std::filesystem::path& wav) {
  const std::filesystem::path raw = wav.string() + ".raw";
  if (!Shell("sox " + Quote(wav) + " -t raw -e signed -b 16 -L " + Quote(raw))) return {};
  return ReadFile(raw);
}

}  // namespace test_support

#define QNL_REQUIRE_TOOL(tool)                                                          \
  do {                                                                                  \
    if (!::test_support::HaveTool(tool)) GTEST_SKIP() << (tool) << " is not installed"; \
  } while (0)
