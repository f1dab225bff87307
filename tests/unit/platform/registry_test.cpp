// The same cases run natively against the simulated hive and under Wine
// against the real registry functions, so both backends answer alike.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/text.h"
#include "platform/platform.h"
#include "platform/registry.h"
#include "support/test_machine.h"

namespace vx::platform {
namespace {

class RegistryTest : public test::MachineFixture {
 protected:
  void SetUp() override {
    MachineFixture::SetUp();
    base_ = "Software\\VantrixTest\\Case" + std::to_string(++counter_);
  }
  void TearDown() override {
    Reg().DeleteTree(RegRoot::kCurrentUser, "Software\\VantrixTest");
    MachineFixture::TearDown();
  }
  std::string base_;
  static inline int counter_ = 0;
};

TEST_F(RegistryTest, TypedValuesRoundTrip) {
  Registry& reg = Reg();
  const auto cu = RegRoot::kCurrentUser;
  ASSERT_EQ(WriteRegString(reg, cu, base_, "Sz", "Grüße, \"quoted\""), 0u);
  ASSERT_EQ(WriteRegString(reg, cu, base_, "Expand", "%SystemRoot%\\inf", kRegExpandSz), 0u);
  ASSERT_EQ(WriteRegDword(reg, cu, base_, "Dword", 0xDEADBEEF), 0u);
  ASSERT_EQ(WriteRegMultiString(reg, cu, base_, "Multi", {"PCI\\VEN_8086", "", "PCI\\CC_0300"}), 0u);
  ASSERT_EQ(WriteRegValue(reg, cu, base_, "Bin", {kRegBinary, std::string("\x00\x01\xff", 3)}), 0u);
  ASSERT_EQ(WriteRegString(reg, cu, base_, "", "default value"), 0u);

  EXPECT_EQ(*ReadRegString(reg, cu, base_, "sz"), "Grüße, \"quoted\"");
  EXPECT_EQ(*ReadRegString(reg, cu, base_, "EXPAND"), "%SystemRoot%\\inf");  // never expanded
  EXPECT_EQ(*ReadRegDword(reg, cu, base_, "dword"), 0xDEADBEEFu);
  // An empty item cannot be stored inside a multi-string: it would end it.
  EXPECT_EQ(*ReadRegMultiString(reg, cu, base_, "Multi"),
            (std::vector<std::string>{"PCI\\VEN_8086", "PCI\\CC_0300"}));
  EXPECT_EQ(*ReadRegBinary(reg, cu, base_, "Bin"), std::string("\x00\x01\xff", 3));
  EXPECT_EQ(*ReadRegString(reg, cu, base_, ""), "default value");

  auto raw = Reg().OpenKey(cu, base_, false);
  ASSERT_TRUE(raw);
  auto sz = (*raw)->QueryValue("Sz");
  ASSERT_TRUE(sz);
  EXPECT_EQ(sz->type, kRegSz);
  EXPECT_EQ(sz->data.substr(sz->data.size() - 2), std::string(2, '\0'));  // stored with its NUL
}

TEST_F(RegistryTest, MissingAndMismatchedAnswersAsWindowsDoes) {
  Registry& reg = Reg();
  const auto cu = RegRoot::kCurrentUser;
  ASSERT_EQ(WriteRegDword(reg, cu, base_, "Number", 7), 0u);
  ASSERT_EQ(WriteRegString(reg, cu, base_, "Text", "7"), 0u);

  struct Case {
    const char* what;
    uint32_t error;
    uint32_t expected;
  } cases[] = {
      {"missing key", ReadRegString(reg, cu, base_ + "\\Nope", "Text").error(), kErrorFileNotFound},
      {"missing value", ReadRegString(reg, cu, base_, "Nope").error(), kErrorFileNotFound},
      {"string read of a DWORD", ReadRegString(reg, cu, base_, "Number").error(), kErrorUnsupportedType},
      {"DWORD read of a string", ReadRegDword(reg, cu, base_, "Text").error(), kErrorUnsupportedType},
      {"multi read of a string", ReadRegMultiString(reg, cu, base_, "Text").error(), kErrorUnsupportedType},
      {"delete missing value", DeleteRegValue(reg, cu, base_, "Nope"), kErrorFileNotFound},
      {"delete value of missing key", DeleteRegValue(reg, cu, base_ + "\\Nope", "X"), kErrorFileNotFound},
      {"delete missing key", reg.DeleteKey(cu, base_ + "\\Nope"), kErrorFileNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(c.error, c.expected) << c.what;
}

TEST_F(RegistryTest, NamesAreCaseInsensitiveAndKeepTheirCase) {
  Registry& reg = Reg();
  const auto cu = RegRoot::kCurrentUser;
  ASSERT_EQ(WriteRegString(reg, cu, base_ + "\\MixedCase", "ValueName", "a"), 0u);
  ASSERT_EQ(WriteRegString(reg, cu, base_ + "\\MIXEDCASE", "VALUENAME", "b"), 0u);
  auto key = reg.OpenKey(cu, AsciiLower(base_) + "\\mixedcase", false);
  ASSERT_TRUE(key);
  EXPECT_EQ(*(*key)->ValueNames(), std::vector<std::string>{"ValueName"});
  EXPECT_EQ(*ReadRegString(reg, cu, base_ + "\\mixedcase", "valuename"), "b");
  auto parent = reg.OpenKey(cu, base_, false);
  ASSERT_TRUE(parent);
  EXPECT_EQ(*(*parent)->SubKeyNames(), std::vector<std::string>{"MixedCase"});
}

TEST_F(RegistryTest, EnumerationAndDeletion) {
  Registry& reg = Reg();
  const auto cu = RegRoot::kCurrentUser;
  for (const char* k : {"B", "a", "C\\Deep"}) ASSERT_TRUE(reg.CreateKey(cu, base_ + "\\" + k));
  for (const char* v : {"second", "first"}) ASSERT_EQ(WriteRegDword(reg, cu, base_, v, 1), 0u);

  auto key = reg.OpenKey(cu, base_, false);
  ASSERT_TRUE(key);
  auto kids = *(*key)->SubKeyNames();
  std::sort(kids.begin(), kids.end());
  EXPECT_EQ(kids, (std::vector<std::string>{"B", "C", "a"}));
  auto values = *(*key)->ValueNames();
  std::sort(values.begin(), values.end());
  EXPECT_EQ(values, (std::vector<std::string>{"first", "second"}));

  EXPECT_EQ(reg.DeleteKey(cu, base_ + "\\C"), kErrorAccessDenied);  // has a sub-key
  EXPECT_EQ(reg.DeleteKey(cu, base_ + "\\C\\Deep"), 0u);
  EXPECT_EQ(reg.DeleteKey(cu, base_ + "\\C"), 0u);
  EXPECT_EQ(reg.DeleteTree(cu, base_), 0u);
  EXPECT_EQ(reg.OpenKey(cu, base_ + "\\B", false).error(), kErrorFileNotFound);

  // A read-only key refuses writes.
  ASSERT_TRUE(reg.CreateKey(cu, base_));
  auto ro = reg.OpenKey(cu, base_, false);
  ASSERT_TRUE(ro);
  EXPECT_EQ((*ro)->SetValue("x", {kRegDword, EncodeRegDword(1)}), kErrorAccessDenied);
}

TEST_F(RegistryTest, LocalMachineRootIsSeparate) {
  Registry& reg = Reg();
  ASSERT_EQ(WriteRegDword(reg, RegRoot::kLocalMachine, base_, "Where", 1), 0u);
  EXPECT_EQ(ReadRegDword(reg, RegRoot::kCurrentUser, base_, "Where").error(), kErrorFileNotFound);
  EXPECT_EQ(reg.DeleteTree(RegRoot::kLocalMachine, "Software\\VantrixTest"), 0u);
}

}  // namespace
}  // namespace vx::platform
