// Tests run against a fresh temporary machine when simulated, and against
// the Windows they run on (Wine in CI) otherwise.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/child_process.h"

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

// The local service with its mail sink, recording what arrives. Natively it
// is started in a temporary folder; under Wine a ctest fixture has started
// it and names its folder in VX_TEST_SERVICE_DIR. Without one, http() and
// smtp() are empty (the tests skip).
class LocalService {
 public:
  // False only when a service should have started and did not.
  bool Start();
  const std::filesystem::path& record() const { return record_; }
  const std::string& http() const { return http_; }  // "127.0.0.1:port"
  const std::string& smtp() const { return smtp_; }

 private:
  std::unique_ptr<TempDir> data_;
  Child child_;
  std::filesystem::path record_;
  std::string http_, smtp_;
};

// Runs vx_test_child with the arguments; returns its exit code.
int RunChild(const std::string& args);

}  // namespace vx::test
