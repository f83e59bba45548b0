// The real registry and file names as Windows keeps them (UTF-16), seen from the program's UTF-8.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "platform/registry.h"
#include "platform/text_file.h"
#include "platform/win32/wide.h"
#include "stations/sim_folder.h"
#include "support/test_data.h"
#include "support/test_registry.h"

namespace {

// Runs a command line through cmd.exe and returns its exit code.
int RunCommand(const std::string& command) { return std::system(command.c_str()); }

// FS2004 is 32-bit: its installer writes the key into the 32-bit view, as `reg /reg:32` does.
TEST(WindowsRegistry, SimulatorFolderComesFromThe32BitViewOfHklm) {
  const std::string key = std::string("HKLM\\") + kSimRegistryKey;
  std::string existing;
  if (RegistryReadString(RegistryRoot::LocalMachine, kSimRegistryKey, kSimRegistryValue, 4096, existing))
    GTEST_SKIP() << "this machine has a simulator entry; leaving it alone";
  ASSERT_EQ(RunCommand("reg add \"" + key + "\" /v \"EXE Path\" /d \"E:\\Games\\FS9\" /reg:32 /f >nul"), 0);
  const std::string saved = g_SimFolder;
  EXPECT_EQ(ReadSimulatorFolder(), 0);
  EXPECT_EQ(g_SimFolder, "E:\\Games\\FS9\\");
  g_SimFolder = saved;
  EXPECT_EQ(RunCommand("reg delete \"" + key + "\" /reg:32 /f >nul"), 0);
  EXPECT_EQ(ReadSimulatorFolder(), 13);
  g_SimFolder = saved;
}

TEST(WindowsRegistry, TextRoundTripsAsUtf8AndOtherValueTypesAreNoString) {
  altivane::test::TestRegistry registry;
  const std::string folder = "D:\\Spiele\\Flugsimulator \xC3\x84\xE2\x82\xAC";  // "Ä€"
  ASSERT_TRUE(RegistryWriteString(RegistryRoot::LocalMachine, "SOFTWARE\\T", "v", folder));
  std::string value;
  ASSERT_TRUE(RegistryReadString(RegistryRoot::LocalMachine, "SOFTWARE\\T", "v", 256, value));
  EXPECT_EQ(value, folder);
  // The limit counts the program's bytes and the terminator.
  EXPECT_FALSE(RegistryReadString(RegistryRoot::LocalMachine, "SOFTWARE\\T", "v", folder.size(), value));
  EXPECT_TRUE(RegistryReadString(RegistryRoot::LocalMachine, "SOFTWARE\\T", "v", folder.size() + 1, value));

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\T", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  const DWORD number = 7;
  RegSetValueExW(key, L"n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  // A string stored without its terminating zero still reads whole.
  RegSetValueExW(key, L"raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 3 * sizeof(wchar_t));
  RegCloseKey(key);
  EXPECT_FALSE(RegistryReadString(RegistryRoot::LocalMachine, "SOFTWARE\\T", "n", 256, value));
  ASSERT_TRUE(RegistryReadString(RegistryRoot::LocalMachine, "SOFTWARE\\T", "raw", 256, value));
  EXPECT_EQ(value, "abc");
}

TEST(WindowsFiles, TextFileOpensANonAsciiPath) {
  altivane::test::TempDir dir;
  const std::string name = "M\xC3\xA9t\xC3\xA9o \xE2\x82\xAC.txt";  // "Météo €.txt"
  {
    std::ofstream out(dir.Path() / Widen(name), std::ios::binary);
    out << "KJFK 071251Z\r\n";
  }
  TextFileReader reader(Narrow(dir.Path().wstring()) + "\\" + name);
  ASSERT_TRUE(reader.IsOpen());
  std::string line;
  ASSERT_TRUE(reader.ReadLine(line));
  EXPECT_EQ(line, "KJFK 071251Z");
}

}  // namespace
