#include <gtest/gtest.h>

#include <cstring>

#include "platform/shared_memory.h"
#include "support/test_machine.h"

namespace vx::platform {
namespace {

class SharedMemoryTest : public test::MachineFixture {
 protected:
  std::string MachineArg() const {
#ifdef _WIN32
    return "-";
#else
    return "'" + (machine_dir() / "machine").string() + "'";
#endif
  }
};

TEST_F(SharedMemoryTest, TwoProcessesShareABlock) {
  const std::string name = "VxTest_Block@01";
  auto block = CreateSharedMemory(name, 4096);
  ASSERT_TRUE(block) << block.error();
  char* data = static_cast<char*>((*block)->Data());
  std::strcpy(data, "from-parent");
  EXPECT_EQ(test::RunChild("shm-expect " + MachineArg() + " " + name + " from-parent"), 0);
  EXPECT_EQ(test::RunChild("shm-write " + MachineArg() + " " + name + " from-child"), 0);
  EXPECT_STREQ(data, "from-child");
}

TEST_F(SharedMemoryTest, OpeningAMissingBlockFails) {
  EXPECT_EQ(OpenSharedMemory("VxTest_NoSuchBlock", 64).error(), kErrorFileNotFound);
  {
    auto block = CreateSharedMemory("VxTest_Gone", 64);
    ASSERT_TRUE(block);
  }
  // The creator's close ends the block.
  EXPECT_FALSE(OpenSharedMemory("VxTest_Gone", 64));
}

}  // namespace
}  // namespace vx::platform
