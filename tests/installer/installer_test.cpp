// altivane-setup.exe under Wine, in a Wine prefix of its own: a fake FS2004 (its registry entry
// and folder), the installer run silently, what it wrote where, the installed program finding
// the world's stations, and the silent uninstaller taking everything away but the weather.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "platform/win32/wide.h"
#include "support/station_list_count.h"
#include "support/test_data.h"

namespace fs = std::filesystem;

namespace {

constexpr int kStatus = 1013;
const wchar_t kFs2004Key[] = L"SOFTWARE\\Microsoft\\Microsoft Games\\Flight simulator\\9.0";
const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Altivane";
const wchar_t kProgIdKey[] = L"Software\\Classes\\ALTIVANE.Application";
const char* const kPrograms[] = {"altivane.exe", "simhost.exe", "altivane-inspect.exe", "README.txt", "uninstall.exe"};

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// A string value, or "(none)" when the key or the value is missing.
std::wstring RegistryText(HKEY root, const std::wstring& key, const wchar_t* name, REGSAM view = 0) {
  wchar_t text[1024] = {};
  DWORD bytes = sizeof text - sizeof(wchar_t);
  if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | (view == KEY_WOW64_32KEY ? RRF_SUBKEY_WOW6432KEY : 0),
                   nullptr, text, &bytes) != ERROR_SUCCESS)
    return L"(none)";
  return text;
}

bool KeyExists(HKEY root, const std::wstring& key) {
  HKEY opened = nullptr;
  if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
  RegCloseKey(opened);
  return true;
}

// Runs a command line to its end and gives its exit code (-1 when it did not start or end).
int RunToEnd(const std::wstring& commandLine, DWORD ms = 120000) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command = commandLine;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}

// Looks until found or the deadline passes.
bool WaitUntil(DWORD ms, const std::function<bool()>& look) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  while (!look()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(100);
  }
  return true;
}

fs::path KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR path = nullptr;
  fs::path result;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) result = path;
  CoTaskMemFree(path);
  return result;
}

// The program a shortcut starts.
std::wstring ShortcutTarget(const fs::path& link) {
  std::wstring target = L"(unreadable)";
  IShellLinkW* shellLink = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&shellLink))))
    return target;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t path[MAX_PATH] = {};
    if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
        SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
      target = path;
    file->Release();
  }
  shellLink->Release();
  return target;
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t title[32] = {};
  GetWindowTextW(window, title, 32);
  if (owner == search->processId && std::wstring(title) == L"Altivane") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// Starts the program as the Start menu entry would, waits for its status field to say text and
// closes it; returns the last status seen.
std::wstring StatusAfterStart(const fs::path& program, const std::wstring& text) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + program.wstring() + L"\"";
  const std::wstring folder = program.parent_path().wstring();
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process))
    return L"(not started)";
  WindowSearch search{process.dwProcessId, nullptr};
  std::wstring status = L"(no window)";
  WaitUntil(60000, [&] {
    if (!search.found) EnumWindows(&LookAtWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) return false;
    wchar_t seen[512] = {};
    SendMessageTimeoutW(GetDlgItem(search.found, kStatus), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(seen),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    status = seen;
    return status == text;
  });
  if (search.found) PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return status;
}

// A fake FS2004: its folder with the sample simulator map, and its registry entry naming it.
class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    m_Fs2004 = m_Dir.Path() / "Flight Simulator 9";
    m_Programs = m_Dir.Path() / "Programs of mine" / "Altivane";
    fs::create_directories(m_Fs2004 / "Weather");
    fs::copy_file(altivane::test::SourceDir() / "data" / "sample" / "Weather" / "wxmapping.bin",
                  m_Fs2004 / "Weather" / "wxmapping.bin");
    SetFs2004Entry(m_Fs2004.wstring());
  }
  void TearDown() override {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kFs2004Key, KEY_WOW64_32KEY, 0);
    CoUninitialize();
  }
  static void SetFs2004Entry(const std::wstring& folder) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kFs2004Key, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, L"EXE Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                   static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  // The silent installer, by default for the installing user only; /D= must come last and
  // unquoted.
  int Install(const std::wstring& options = L"", const wchar_t* forWhom = L"/CurrentUser") {
    return RunToEnd(L"\"" + Widen(ALTIVANE_SETUP) + L"\" /S " + forWhom + L" " + options + L" /D=" +
                    m_Programs.wstring());
  }
  // The uninstaller as Apps & features starts it (from its entry under root), silently. It runs
  // on from a copy of itself in the temporary folder, so its end shows in what it removes.
  void Uninstall(const std::wstring& options = L"", HKEY root = HKEY_CURRENT_USER) {
    const std::wstring quiet = RegistryText(root, kUninstallKey, L"QuietUninstallString");
    ASSERT_EQ(quiet, L"\"" + (m_Programs / "uninstall.exe").wstring() + L"\" /S");
    ASSERT_EQ(RunToEnd(quiet + L" " + options), 0);
    EXPECT_TRUE(WaitUntil(60000, [&] { return !KeyExists(root, kUninstallKey); }));
    EXPECT_TRUE(WaitUntil(60000, [&] { return !fs::exists(m_Programs); }));
  }

  altivane::test::TempDir m_Dir;
  fs::path m_Fs2004;
  fs::path m_Programs;
};

TEST_F(Installer, InstallsForTheUserFindsTheWorldsStationsAndUninstallsAllButTheWeather) {
  ASSERT_EQ(Install(), 0);

  // The programs where /D= said, the world list and an empty weather folder in FS2004's folder.
  for (const char* name : kPrograms) EXPECT_TRUE(fs::is_regular_file(m_Programs / name)) << name;
  const fs::path world = altivane::test::SourceDir() / "data" / "world" / "Altivane" / "stations" / "station.txt";
  const fs::path list = m_Fs2004 / "Altivane" / "stations" / "station.txt";
  EXPECT_EQ(ReadBytes(list), ReadBytes(world));
  EXPECT_TRUE(fs::is_directory(m_Fs2004 / "Altivane" / "Weather"));
  EXPECT_TRUE(fs::is_empty(m_Fs2004 / "Altivane" / "Weather"));

  // Apps & features, the automation class of this user, the Start menu.
  const std::wstring program = (m_Programs / "altivane.exe").wstring();
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName"), L"Altivane");
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"),
            L"\"" + (m_Programs / "uninstall.exe").wstring() + L"\"");
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), m_Programs.wstring());
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, kUninstallKey, L"SimulatorFolder"), m_Fs2004.wstring());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  const std::wstring clsid = RegistryText(HKEY_CURRENT_USER, std::wstring(kProgIdKey) + L"\\CLSID", nullptr);
  EXPECT_EQ(RegistryText(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + clsid + L"\\LocalServer32", nullptr),
            L"\"" + program + L"\"");
  const fs::path shortcut = KnownFolder(FOLDERID_Programs) / "Altivane.lnk";
  ASSERT_TRUE(fs::is_regular_file(shortcut)) << shortcut;
  EXPECT_EQ(ShortcutTarget(shortcut), program);

  // Started from there, the program reads FS2004's entry and loads every line of the list
  // (counted here on its own) and the simulator's 40 stations.
  const altivane::test::ListFigures figures = altivane::test::CountList(world);
  ASSERT_GT(figures.lines, 6000);
  const std::wstring loaded = L"40 FS2004 Stations, " + std::to_wstring(figures.metar) + L" METAR Stations and " +
                              std::to_wstring(figures.weather) + L" weather Stations read.";
  EXPECT_EQ(StatusAfterStart(program, loaded), loaded);

  // Weather downloaded meanwhile stays; everything else of ours goes.
  const fs::path weather = m_Fs2004 / "Altivane" / "Weather" / "20261207_1200Z.TXT";
  std::ofstream(weather) << "2026/12/07 12:00\nKSEA 071153Z 18012KT 10SM OVC020 08/05 A2990\n";
  Uninstall();
  EXPECT_FALSE(fs::exists(m_Programs));
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(fs::exists(m_Fs2004 / "Altivane" / "stations"));
  EXPECT_TRUE(fs::is_regular_file(weather));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProgIdKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + clsid));
  EXPECT_TRUE(fs::is_regular_file(m_Fs2004 / "Weather" / "wxmapping.bin"));  // FS2004's own files stay
}

// Without FS2004's registry entry a silent install stops (exit code 3) before writing anything,
// unless /FS2004= names the folder; asked to, the uninstaller takes the weather too.
TEST_F(Installer, FolderGivenWithoutRegistryEntryAndWeatherRemovedOnRequest) {
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kFs2004Key, KEY_WOW64_32KEY, 0);
  EXPECT_EQ(Install(), 3);
  EXPECT_FALSE(fs::exists(m_Programs));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));

  ASSERT_EQ(Install(L"/FS2004=\"" + m_Fs2004.wstring() + L"\""), 0);
  EXPECT_TRUE(fs::is_regular_file(m_Fs2004 / "Altivane" / "stations" / "station.txt"));
  std::ofstream(m_Fs2004 / "Altivane" / "Weather" / "weather-view.html") << "<html></html>";
  Uninstall(L"/RemoveWeather");
  EXPECT_FALSE(fs::exists(m_Fs2004 / "Altivane"));
  EXPECT_TRUE(fs::is_regular_file(m_Fs2004 / "Weather" / "wxmapping.bin"));
}

// For everyone: the entry of Apps & features and the shortcut are the machine's; the automation
// class is still the installing user's. The uninstaller finds that mode again.
TEST_F(Installer, ForEveryoneWritesTheMachinesEntryAndShortcut) {
  ASSERT_EQ(Install(L"", L"/AllUsers"), 0);
  EXPECT_EQ(RegistryText(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), m_Programs.wstring());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUninstallKey));
  const fs::path shortcut = KnownFolder(FOLDERID_CommonPrograms) / "Altivane.lnk";
  EXPECT_TRUE(fs::is_regular_file(shortcut)) << shortcut;
  EXPECT_FALSE(fs::exists(KnownFolder(FOLDERID_Programs) / "Altivane.lnk"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kProgIdKey));
  Uninstall(L"", HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(fs::exists(shortcut));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kProgIdKey));
  EXPECT_FALSE(fs::exists(m_Fs2004 / "Altivane" / "stations"));
}

}  // namespace
