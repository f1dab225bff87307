// Tests run against a fresh temporary machine when simulated, and against
// the Windows they run on (Wine in CI) otherwise.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace vx::test {

// The folder holding the test programs (and vx_test_child).
std::filesystem::path ProgramDir();

// A scratch folder removed at destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Creates a machine from a sample (simulated backend) in a temporary folder
// and attaches this process to it; on Windows attaches to the host.
class MachineFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  virtual const char* Sample() const { return "desktop-win10-x64"; }
  const std::filesystem::path& machine_dir() const { return dir_.path(); }

 private:
  TempDir dir_;
};

// Runs vx_test_child with the arguments; returns its exit code.
int RunChild(const std::string& args);

}  // namespace vx::test
