#include "platform/archive_lib.h"

#include <gtest/gtest.h>

namespace vx::platform {
namespace {

TEST(ArchiveLibTest, LoadsOnlyByFullPath) {
  auto relative = LoadLibraryByPath(ArchiveLibraryPath().filename());
  ASSERT_FALSE(relative);
  EXPECT_EQ(relative.error(), kErrorBadPathname);
  EXPECT_FALSE(LoadLibraryByPath(ArchiveLibraryPath().parent_path() / "no-such-library.bin"));
}

TEST(ArchiveLibTest, TheArchiveLibraryExportsCreateObject) {
  ASSERT_TRUE(ArchiveLibraryPath().is_absolute());
  auto lib = LoadLibraryByPath(ArchiveLibraryPath());
  ASSERT_TRUE(lib) << lib.error();
  EXPECT_NE((*lib)->Proc("CreateObject"), nullptr);
  EXPECT_EQ((*lib)->Proc("NoSuchExport"), nullptr);
}

}  // namespace
}  // namespace vx::platform
