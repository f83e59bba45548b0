// The Windows front end: the main dialog (template 102) as a thin view over CALTIVANEDlg.
#include <winsock2.h>
#include <windows.h>
#include <ole2.h>

#include <memory>
#include <string>

#include "app/main_dialog.h"
#include "platform/win32/user_dialogs.h"
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
HICON g_Icon = nullptr;

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
      g_Window = new MainWindow(window);
      g_Window->dialog.OnInitDialog();
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
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(g_Icon);
    case WM_DESTROY:
      g_Dialogs.SetMainWindow(nullptr);
      if (g_Window) {
        g_Window->dialog.Shutdown();
        delete g_Window;
        g_Window = nullptr;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
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
  g_Icon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  g_pUserDialogs.store(&g_Dialogs);
  DialogBoxParamW(instance, MAKEINTRESOURCEW(kDialogTemplate), nullptr, &DialogProc, 0);
  g_pUserDialogs.store(nullptr);
  OleUninitialize();
  WSACleanup();
  return 0;
}
