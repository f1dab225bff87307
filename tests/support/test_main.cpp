#include <gtest/gtest.h>

#include <filesystem>

namespace vx::test {
extern std::filesystem::path g_program_dir;
}

int main(int argc, char** argv) {
  std::error_code ec;
  vx::test::g_program_dir = std::filesystem::absolute(argv[0], ec).parent_path();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
