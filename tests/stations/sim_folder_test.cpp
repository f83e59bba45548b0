#include "stations/sim_folder.h"

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/registry.h"
#include "support/test_registry.h"

namespace {

class SimFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { m_Saved = g_SimFolder; }
  void TearDown() override { g_SimFolder = m_Saved; }
  altivane::test::TestRegistry m_Registry;
  std::string m_Saved;
};

TEST_F(SimFolderTest, ExePathGetsOneMoreBackslash) {
  struct Case {
    std::string value, folder;
  } cases[] = {{"D:\\FS9", "D:\\FS9\\"}, {"D:\\FS9\\", "D:\\FS9\\\\"}, {"/opt/fs9", "/opt/fs9\\"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    ASSERT_TRUE(RegistryWriteString(RegistryRoot::LocalMachine, kSimRegistryKey, kSimRegistryValue, c.value));
    EXPECT_EQ(ReadSimulatorFolder(), 0);
    EXPECT_EQ(g_SimFolder, c.folder);
  }
  EXPECT_EQ(NativePath(g_SimFolder + "Altivane\\stations\\station.txt"),
            std::filesystem::path("/opt/fs9/Altivane/stations/station.txt"));
}

TEST_F(SimFolderTest, MissingOrOversizedEntryIs13AndKeepsTheFolder) {
  g_SimFolder = "keep\\";
  EXPECT_EQ(ReadSimulatorFolder(), 13);
  EXPECT_EQ(g_SimFolder, "keep\\");
  // 255 characters and the terminator fit in 256 bytes; one more does not.
  ASSERT_TRUE(
      RegistryWriteString(RegistryRoot::LocalMachine, kSimRegistryKey, kSimRegistryValue, std::string(256, 'a')));
  EXPECT_EQ(ReadSimulatorFolder(), 13);
  EXPECT_EQ(g_SimFolder, "keep\\");
  ASSERT_TRUE(
      RegistryWriteString(RegistryRoot::LocalMachine, kSimRegistryKey, kSimRegistryValue, std::string(255, 'a')));
  EXPECT_EQ(ReadSimulatorFolder(), 0);
  EXPECT_EQ(g_SimFolder, std::string(255, 'a') + "\\");
}

TEST_F(SimFolderTest, RegistryKeysAndValuesIgnoreCaseAndOtherKeysSurvive) {
  ASSERT_TRUE(RegistryWriteString(RegistryRoot::CurrentUser, "Software\\Other", "x", "1"));
  ASSERT_TRUE(RegistryWriteString(RegistryRoot::LocalMachine, kSimRegistryKey, "exe path", "E:\\Sim"));
  ASSERT_TRUE(RegistryWriteString(RegistryRoot::LocalMachine, kSimRegistryKey, "EXE PATH", "F:\\Sim"));
  std::string value;
  ASSERT_TRUE(RegistryReadString(RegistryRoot::LocalMachine,
                                 "software\\microsoft\\microsoft games\\flight simulator\\9.0", "Exe Path", 256,
                                 value));
  EXPECT_EQ(value, "F:\\Sim");
  ASSERT_TRUE(RegistryReadString(RegistryRoot::CurrentUser, "Software\\Other", "x", 256, value));
  EXPECT_EQ(value, "1");
  EXPECT_FALSE(RegistryReadString(RegistryRoot::LocalMachine, "Software\\Other", "x", 256, value));
}

}  // namespace
