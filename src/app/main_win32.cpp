// The Windows front end: the main dialog (template 102) as a thin view over CALTIVANEDlg.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include <atomic>
#include <cctype>
#include <memory>
#include <string>

#include "app/main_dialog.h"
#include "view/view_file.h"
#include "platform/automation.h"
#include "platform/controls.h"
#include "platform/win32/user_dialogs.h"
#include "platform/win32/wide.h"
#include "platform/win32/window_controls.h"

namespace {

constexpr int kIdTime = 1029;
constexpr int kIdStatus = 1013;
constexpr int kIdStart = 1001;
constexpr int kIdEnd = 1002;
constexpr int kIdGetCurrent = 1011;
constexpr int kIdGetFromFile = 1012;
constexpr int kIdUpdateNow = 1040;
constexpr int kIdUpdate = 1032;
constexpr int kDialogTemplate = 102;
constexpr int kIconResource = 128;
constexpr UINT kOleInitFailed = 100;
constexpr UINT kSocketsInitFailed = 103;

Win32UserDialogs g_Dialogs;

// Everything the window owns, made when it opens and gone when it is destroyed.
struct MainWindow {
  explicit MainWindow(HWND window)
      : status(window, kIdStatus),
        time(window, kIdTime),
        start(window, kIdStart, false),
        end(window, kIdEnd, false),
        dialog({&status, &start, &end, &time}, DefaultDialogServices()) {}
  void Apply() {
    status.Apply();
    time.Apply();
    start.Apply();
    end.Apply();
  }
  WindowText status;
  WindowText time;
  WindowButton start;
  WindowButton end;
  CALTIVANEDlg dialog;
};

MainWindow* g_Window = nullptr;
HWND g_WindowHandle = nullptr;
HICON g_Icon = nullptr;

// The automation objects clients hold (made and let go on this thread, through the window's
// message loop): the first attaches to the window, the last detaches, and when the window was
// closed meanwhile (only hidden) the program ends then.
int g_HeldObjects = 0;
std::unique_ptr<CALTIVANEDlgAutoProxy> g_Proxy;

void AttachHeldObjects() {
  if (g_Window && g_HeldObjects > 0 && !g_Proxy) g_Proxy = std::make_unique<CALTIVANEDlgAutoProxy>(&g_Window->dialog);
}

void OnObjectCreated() {
  ++g_HeldObjects;
  AttachHeldObjects();
}

void OnObjectReleased() {
  if (g_HeldObjects == 0 || --g_HeldObjects > 0) return;
  g_Proxy.reset();
  if (g_WindowHandle && !IsWindowVisible(g_WindowHandle)) EndDialog(g_WindowHandle, IDCANCEL);
}

constexpr const char* kRegistrationFailed =
    "Automation registration failed: ALTIVANE.Application could not be written to HKEY_CURRENT_USER.";

// A switch of the command line, in either case and with either "/" or "-":
// HasSwitch("/Embedding", "embedding") is true.
bool HasSwitch(const char* commandLine, const char* name) {
  std::string line = commandLine ? commandLine : "";
  for (char& c : line) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* prefix : {"/", "-"}) {
    if (line.find(prefix + std::string(name)) != std::string::npos) return true;
  }
  return false;
}

// Started by COM for a client ("/Embedding") or as "/Automation".
bool StartedForAutomation(const char* commandLine) {
  return HasSwitch(commandLine, "embedding") || HasSwitch(commandLine, "automation");
}

bool g_RegistrationFailed = false;

std::string ProgramPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  return Narrow(path);
}

std::wstring LoadText(UINT id) {
  wchar_t text[256] = {};
  LoadStringW(GetModuleHandleW(nullptr), id, text, 256);
  return text;
}

void PaintMinimised(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  SendMessageW(window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(window, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, g_Icon);
  EndPaint(window, &paint);
}

INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(g_Icon));
      SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(g_Icon));
      g_Dialogs.SetMainWindow(window);
      g_WindowHandle = window;
      g_Window = new MainWindow(window);
      AttachHeldObjects();
      g_Window->dialog.OnInitDialog();
      // Said last, so that the loading's own texts do not hide it.
      if (g_RegistrationFailed) SetStatusText(kRegistrationFailed);
      // Without a simulator folder there is no catalogue for the weather buttons to fill.
      const bool weather = g_Window->dialog.WeatherButtonsEnabled();
      for (int id : {kIdGetCurrent, kIdGetFromFile, kIdUpdateNow}) EnableWindow(GetDlgItem(window, id), weather);
      g_Window->Apply();
      return TRUE;
    }
    case kApplyControls:
      if (g_Window) g_Window->Apply();
      return TRUE;
    case WM_COMMAND: {
      if (!g_Window) return FALSE;
      CALTIVANEDlg& dialog = g_Window->dialog;
      switch (LOWORD(wParam)) {
        case kIdStart: dialog.OnStart(); break;
        case kIdEnd: dialog.OnEnd(); break;
        case kIdGetCurrent: dialog.OnGetCurrentWeather(); break;
        case kIdGetFromFile: dialog.OnGetWeatherFromFile(); break;
        case kIdUpdateNow: dialog.OnUpdateNow(); break;
        case kIdUpdate: dialog.OnUpdateToggle(); break;
        case IDOK:
          // Confirming reads the time field back, in the user's format.
          dialog.ReadTimeField(g_Window->time.GetText());
          [[fallthrough]];
        case IDCANCEL:
          if (dialog.CanExit())
            EndDialog(window, LOWORD(wParam));
          else
            ShowWindow(window, SW_HIDE);
          break;
        default: return FALSE;
      }
      g_Window->Apply();
      return TRUE;
    }
    case WM_CLOSE:
      if (!g_Window || g_Window->dialog.OnClose())
        EndDialog(window, IDCANCEL);
      else
        ShowWindow(window, SW_HIDE);
      return TRUE;
    case WM_PAINT:
      if (!IsIconic(window)) return FALSE;
      PaintMinimised(window);
      return TRUE;
    case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(g_Icon);
    case WM_DESTROY:
      g_Dialogs.SetMainWindow(nullptr);
      g_WindowHandle = nullptr;
      g_Proxy.reset();
      if (g_Window) {
        g_Window->dialog.Shutdown();
        delete g_Window;
        g_Window = nullptr;
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  WSADATA sockets;
  if (WSAStartup(MAKEWORD(1, 1), &sockets) != 0) {
    MessageBoxW(nullptr, LoadText(kSocketsInitFailed).c_str(), L"Altivane", MB_OK);
    return 0;
  }
  if (FAILED(OleInitialize(nullptr))) {
    MessageBoxW(nullptr, LoadText(kOleInitFailed).c_str(), L"Altivane", MB_OK);
    WSACleanup();
    return 0;
  }
  // "/Regserver" and "/Unregserver" only write or remove the registration, without a window;
  // the exit code says whether it worked.
  if (HasSwitch(commandLine, "unregserver") || HasSwitch(commandLine, "unregister")) {
    const bool removed = UnregisterAutomationClass();
    OleUninitialize();
    WSACleanup();
    return removed ? 0 : 1;
  }
  if (HasSwitch(commandLine, "regserver") || HasSwitch(commandLine, "register")) {
    const bool registered = RegisterAutomationClass(ProgramPath());
    OleUninitialize();
    WSACleanup();
    return registered ? 0 : 1;
  }
  // The window's controls from common controls 6 (the manifest asks for it): visual styles.
  INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  AutomationServer automation;
  if (StartedForAutomation(commandLine)) {
    automation.Start("", &OnObjectCreated, &OnObjectReleased);
  } else {
    g_RegistrationFailed = !RegisterAutomationClass(ProgramPath());
  }
  g_Icon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  g_pUserDialogs.store(&g_Dialogs);
  // After the first pass the status field tells where the weather view is, behind the pass's
  // result line, which it must not hide.
  static std::atomic<bool> viewShown{false};
  SetWeatherViewListener([](const std::string& path) {
    if (viewShown.exchange(true)) return;
    IStatusField* field = g_pStatusField.load();
    const std::string result = field ? field->GetText() : std::string();
    SetStatusText((result.empty() ? "" : result + " ") + "Weather view: " + path);
  });
  DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogTemplate), nullptr, &DialogProc, 0);
  g_pUserDialogs.store(nullptr);
  SetWeatherViewListener(nullptr);
  automation.Stop();
  OleUninitialize();
  WSACleanup();
  return 0;
}
