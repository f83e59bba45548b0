// The Linux front end: the main window as a terminal program. It prints every change of the
// window's state as one line ("status: ...", "start: enabled", ...) and takes one command per
// line for the buttons, from a person or from a pipe.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "app/main_dialog.h"
#include "cycle/update_cycle.h"
#include "base/text.h"
#include "view/view_file.h"
#include "platform/automation.h"
#include "platform/console.h"
#include "stations/sim_folder.h"

namespace {

constexpr const char* kUsage =
    "usage: altivane [--sim-folder DIR] [--automation] [--automation-socket PATH]\n"
    "                [--refresh-waits N] [--refresh-wait-ms MS] [--help]\n";
constexpr const char* kHelp = "commands: start | end | current | file [PATH] | now | update | state | help | quit";
constexpr const char* kLongHelp =
    "altivane: real-world weather for FS2004, one terminal line per change of the window\n"
    "(on a terminal, counting texts update their line and repeats show a count: (x3)).\n"
    "\n"
    "Commands (one a line, from the terminal or a pipe):\n"
    "  start        Start: send the loaded weather to the simulator (needs weather)\n"
    "  end          End: stop sending\n"
    "  current      Get current weather: download the current reports\n"
    "  file [PATH]  Get weather...: read a METAR file; a name without a folder is looked for\n"
    "               in the weather folder, no PATH asks for one\n"
    "  now          Update Now: download the current reports and send them\n"
    "  update       check or uncheck Update (fetch again every 25 min 10 s while running)\n"
    "  state        print the whole window in one line\n"
    "  help         the command list\n"
    "  quit         close the window (also end of input, SIGINT, SIGTERM)\n"
    "\n"
    "Options:\n"
    "  --sim-folder DIR           the FS2004 folder (else the registry value EXE Path)\n"
    "  --automation               serve automation objects (also -Automation, /Automation)\n"
    "  --automation-socket PATH   serve them at PATH\n"
    "  --refresh-waits N          waits before the periodic refresh (151)\n"
    "  --refresh-wait-ms MS       length of one wait (10000)\n"
    "  --monitor-period-ms MS     the position monitor's poll period (1000), for trials and soaks\n"
    "  --help                     this text\n"
    "\n"
    "Files, under the FS2004 folder:\n"
    "  Altivane/stations/station.txt   station list\n"
    "  Weather/wxmapping.bin           the simulator's weather-station map\n"
    "  Altivane/Weather/               weather folder: METAR (YYYYMMDD_HH00Z.TXT) and upper-air\n"
    "                                  (YYYYMMDD_HH00Z.rdisnd) files\n"
    "\n"
    "Environment:\n"
    "  ALTIVANE_REGISTRY   the registry file (default $XDG_CONFIG_HOME/altivane/registry.ini,\n"
    "                      ~/.config when unset): EXE Path, servers and proxy ports\n"
    "  ALTIVANE_IPC_DIR    folder of the simulator link's and automation sockets (default /tmp)\n"
    "  XDG_CONFIG_HOME, HOME  where the registry file is looked for\n";

// A signal ends the program as "quit" does: the main loop is woken with this byte.
constexpr char kQuitByte = 'q';
int g_SignalWakeFd = -1;

void OnQuitSignal(int) {
  const char byte = kQuitByte;
  if (g_SignalWakeFd < 0) return;
  [[maybe_unused]] const ssize_t written = ::write(g_SignalWakeFd, &byte, 1);
}
constexpr const char* kHidden = "window hidden: an automation client holds the program";

struct Options {
  std::string simFolder;
  bool automation = false;
  std::string automationSocket;
  int refreshWaits = -1;  // the periodic refresh's waits, shortened for trials and tests
  int refreshWaitMs = -1;
  int monitorPeriodMs = -1;
};

bool ParseCount(const char* text, int& out) {
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 0 || value > 1000000) return false;
  out = static_cast<int>(value);
  return true;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--sim-folder" && i + 1 < argc) {
      options.simFolder = argv[++i];
    } else if (arg == "--automation" || arg == "-Automation" || arg == "/Automation") {
      options.automation = true;
    } else if (arg == "--automation-socket" && i + 1 < argc) {
      options.automationSocket = argv[++i];
      options.automation = true;
    } else if (arg == "--refresh-waits" && i + 1 < argc) {
      if (!ParseCount(argv[++i], options.refreshWaits)) return false;
    } else if (arg == "--refresh-wait-ms" && i + 1 < argc) {
      if (!ParseCount(argv[++i], options.refreshWaitMs)) return false;
    } else if (arg == "--monitor-period-ms" && i + 1 < argc) {
      if (!ParseCount(argv[++i], options.monitorPeriodMs) || options.monitorPeriodMs == 0) return false;
    } else {
      return false;
    }
  }
  return true;
}

std::string DefaultAutomationSocket() {
  const char* dir = std::getenv("ALTIVANE_IPC_DIR");
  std::string base = dir && *dir ? dir : "/tmp";
  return base + "/altivane-automation-" + std::to_string(::getpid()) + ".sock";
}

// The automation objects clients hold; the first attaches to the window, the last detaches.
class HeldObjects {
 public:
  HeldObjects(CALTIVANEDlg& dialog, ConsoleWindow& window, int wakeFd)
      : m_Dialog(dialog), m_Window(window), m_WakeFd(wakeFd) {}
  void Create() {
    std::lock_guard lock(m_Mutex);
    if (m_Count++ == 0) m_Proxy = std::make_unique<CALTIVANEDlgAutoProxy>(&m_Dialog);
    m_Window.Print("automation: object created");
  }
  void Release() {
    std::lock_guard lock(m_Mutex);
    if (m_Count == 0 || --m_Count > 0) return;
    m_Proxy.reset();
    m_Window.Print("automation: object released");
    char byte = 1;
    if (::write(m_WakeFd, &byte, 1) < 0) std::perror("altivane: wake");
  }
  void Clear() {
    std::lock_guard lock(m_Mutex);
    m_Proxy.reset();
    m_Count = 0;
  }

 private:
  CALTIVANEDlg& m_Dialog;
  ConsoleWindow& m_Window;
  int m_WakeFd;
  std::mutex m_Mutex;
  int m_Count = 0;
  std::unique_ptr<CALTIVANEDlgAutoProxy> m_Proxy;
};

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs("\n", stdout);
      std::fputs(kLongHelp, stdout);
      return 0;
    }
  }
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  DialogServices services = DefaultDialogServices();
  if (!options.simFolder.empty()) {
    if (!std::filesystem::is_directory(options.simFolder)) {
      std::fprintf(stderr, "altivane: simulator folder %s does not exist\n", options.simFolder.c_str());
      return 1;
    }
    std::string folder = std::filesystem::absolute(options.simFolder).lexically_normal().string();
    if (!folder.empty() && folder.back() == '/') folder.pop_back();
    services.readSimulatorFolder = [folder] {
      g_SimFolder = folder + "\\";
      return 0;
    };
  }

  if (options.refreshWaits >= 0) services.refreshWaits = options.refreshWaits;
  if (options.refreshWaitMs >= 0) services.refreshWait = std::chrono::milliseconds(options.refreshWaitMs);
  if (options.monitorPeriodMs > 0)
    ProcessUpdateCycle().SetMonitorPeriod(std::chrono::milliseconds(options.monitorPeriodMs));

  int wake[2];
  if (::pipe(wake) != 0) {
    std::perror("altivane: pipe");
    return 1;
  }
  g_SignalWakeFd = wake[1];
  struct sigaction quit {};
  quit.sa_handler = OnQuitSignal;
  sigemptyset(&quit.sa_mask);
  ::sigaction(SIGINT, &quit, nullptr);
  ::sigaction(SIGTERM, &quit, nullptr);
  ConsoleWindow window;
  ConsoleDialogs dialogs(window);
  g_pUserDialogs.store(&dialogs);
  CALTIVANEDlg dialog({&window.m_Status, &window.m_Start, &window.m_End, &window.m_Time}, std::move(services));
  HeldObjects held(dialog, window, wake[1]);
  AutomationServer automation;

  if (options.automation) {
    std::string endpoint = options.automationSocket.empty() ? DefaultAutomationSocket() : options.automationSocket;
    if (!automation.Start(
            endpoint, [&] { held.Create(); }, [&] { held.Release(); })) {
      std::fprintf(stderr, "altivane: cannot serve automation objects at %s\n", endpoint.c_str());
      return 1;
    }
    window.Print("automation: listening on " + endpoint);
  } else if (!RegisterAutomationClass(std::filesystem::absolute(argv[0]).string())) {
    window.Print("automation: registration entries could not be written");
  }

  // Where the weather view is, once: the page is rewritten in place after every pass.
  auto viewShown = std::make_shared<std::atomic<bool>>(false);
  SetWeatherViewListener([&window, viewShown](const std::string& path) {
    if (!viewShown->exchange(true)) window.Print("weather view: " + path);
  });

  dialog.OnInitDialog();
  window.PrintState(g_bAutoUpdate.load());
  window.Print(kHelp);

  // Closing: the window closes unless a client holds an automation object; then it hides and
  // the program ends when the client lets go.
  bool hidden = false;
  auto close = [&] {
    if (dialog.OnClose()) return true;
    if (!hidden) window.Print(kHidden);
    hidden = true;
    return false;
  };

  for (;;) {
    if (hidden && dialog.CanExit()) break;
    bool buffered = !hidden && window.HasBufferedInput();
    pollfd fds[2] = {{hidden ? -1 : 0, POLLIN, 0}, {wake[0], POLLIN, 0}};
    if (!buffered && ::poll(fds, 2, -1) < 0) continue;
    if (!buffered && fds[1].revents) {
      char byte;
      if (::read(wake[0], &byte, 1) <= 0) break;
      if (byte == kQuitByte && close()) break;
      continue;  // a release: looked at at the top of the loop
    }
    if (!buffered && !fds[0].revents) continue;
    std::string line;
    if (!window.ReadLine(line)) {  // end of input counts as closing the window
      if (close()) break;
      continue;
    }
    std::string command(TrimSpace(line));
    std::string argument;
    if (auto space = command.find(' '); space != std::string::npos) {
      argument = std::string(TrimSpace(std::string_view(command).substr(space + 1)));
      command.resize(space);
    }
    if (command.empty()) continue;
    // A disabled button cannot be pressed.
    if (command == "start" && !window.m_Start.IsEnabled()) {
      window.Print("start is disabled: load weather first");
      continue;
    }
    if (command == "end" && !window.m_End.IsEnabled()) {
      window.Print("end is disabled: no weather is being sent");
      continue;
    }
    if (command == "start") {
      dialog.OnStart();
    } else if (command == "end") {
      dialog.OnEnd();
    } else if (command == "current") {
      dialog.OnGetCurrentWeather();
    } else if (command == "file") {
      if (!argument.empty()) dialogs.PresetFile(argument);
      dialog.OnGetWeatherFromFile();
    } else if (command == "now") {
      dialog.OnUpdateNow();
    } else if (command == "update") {
      dialog.OnUpdateToggle();
    } else if (command == "quit" || command == "close") {
      if (close()) break;
      continue;
    } else if (command == "help") {
      window.Print(kHelp);
      continue;
    } else if (command != "state") {
      window.Print("unknown command: " + command);
      continue;
    }
    window.PrintState(g_bAutoUpdate.load());
  }

  automation.Stop();
  held.Clear();
  dialog.Shutdown();
  SetWeatherViewListener(nullptr);
  g_pUserDialogs.store(nullptr);
  window.Print("bye");
  ::close(wake[0]);
  ::close(wake[1]);
  return 0;
}
