// simhost: the simulator stand-in. Serves the FSUIPC link under a window class until it is
// interrupted (or its request limit is reached), journalling what it is sent.
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ipc_transport.h"
#include "simhost_core.h"
#include "simlink/fsuipc_client.h"

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace {

const char* const kUsage =
    "usage: simhost [options]            serve the link until interrupted\n"
    "       simhost --move LAT,LON [--class C]   move the aircraft of a running simhost\n"
    "options:\n"
    "  --class C                window class, FS98MAIN (default) or UIPCMAIN\n"
    "  --fsuipc-version X       value at 0x3304 (default 0x39990000)\n"
    "  --fs-version X           value at 0x3308 (default 0xFADE0007)\n"
    "  --refuse-handshake K     K = version (FSUIPC too old) or fade (no 0xFADE marker)\n"
    "  --position LAT,LON       aircraft position in degrees (default 0,0)\n"
    "  --path FILE              lines 'seconds lat lon': the aircraft flies along them\n"
    "  --journal FILE           JSON lines, one per event\n"
    "  --dump                   print the committed weather per station when ending\n"
    "  --never-ack              never acknowledge a weather command at 0xC824\n"
    "  --answer-after MS        answer each request only after MS milliseconds\n"
    "  --bad-data               answer every request with 'bad data'\n"
    "  --faults-from N          the three switches above apply from request N on (default 1)\n"
    "  --refresh-answer-after N answer a refresh request (0xCC04) after N more requests, as the\n"
    "                           simulator does in a later frame (default 1)\n"
    "  --refresh-at-once        answer a refresh request at once (same as --refresh-answer-after 0)\n"
    "  --exit-after N           vanish after answering N requests\n"
    "  --quiet                  do not print the messages shown in the simulator\n";

bool ParseNumber(const std::string& text, std::uint64_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long v = std::strtoull(text.c_str(), &end, 0);
  if (errno || *end || text[0] == '-') return false;
  *value = v;
  return true;
}

bool ParsePosition(const std::string& text, double* lat, double* lon) {
  char tail = 0;
  return std::sscanf(text.c_str(), "%lf,%lf%c", lat, lon, &tail) == 2 && *lat >= -90 && *lat <= 90 && *lon >= -180 &&
         *lon <= 180;
}

// Set once, by a signal or by the host at its request limit.
class EndRequest {
 public:
  void Set(bool vanish) {
    std::lock_guard lock(m_Mutex);
    if (m_Ended) return;
    m_Ended = true;
    m_Vanish = vanish;
    m_Changed.notify_all();
  }
  // Waits for the end; true when the host is to vanish.
  bool Wait() {
    std::unique_lock lock(m_Mutex);
    m_Changed.wait(lock, [this] { return m_Ended; });
    return m_Vanish;
  }

 private:
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  bool m_Ended = false;
  bool m_Vanish = false;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "simhost: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// Asks the simhost serving `className` to move its aircraft.
int SendMove(const std::string& className, double lat, double lon) {
  IpcTransport& transport = DefaultIpcTransport();
  IpcWindow window = transport.FindWindow(className.c_str());
  if (!window) {
    std::fprintf(stderr, "simhost: no simhost serves class %s\n", className.c_str());
    return 1;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.6f %.6f", lat, lon);
  std::uint16_t atom = transport.AddAtom(text);
  std::intptr_t result = 0;
  bool sent = transport.SendMessageTimeout(window, transport.RegisterMessage(kSimHostMoveMessage), atom, 2000, &result);
  transport.DeleteAtom(atom);
  if (!sent || result != 1) {
    std::fprintf(stderr, "simhost: the move was not taken\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  SimHostOptions options;
  std::string className = kFs98WindowClass;
  std::string pathFile;
  bool dump = false, move = false, quiet = false;
  double moveLat = 0, moveLon = 0;

  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    std::string v;
    std::uint64_t n = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--class") {
      if (!value(&className) || className.empty()) return Fail("--class needs a name");
    } else if (arg == "--fsuipc-version" || arg == "--fs-version") {
      if (!value(&v) || !ParseNumber(v, &n) || n > 0xFFFFFFFFu) return Fail(arg + " needs a 32-bit number");
      (arg == "--fs-version" ? options.m_FsVersion : options.m_FsuipcVersion) = static_cast<std::uint32_t>(n);
    } else if (arg == "--refuse-handshake") {
      if (!value(&v)) return Fail("--refuse-handshake needs version or fade");
      if (v == "version")
        options.m_FsuipcVersion = kMinFsuipcVersion - 1;
      else if (v == "fade")
        options.m_FsVersion = 0x12340000u | (options.m_FsVersion & 0xFFFFu);
      else
        return Fail("--refuse-handshake needs version or fade");
    } else if (arg == "--position") {
      if (!value(&v) || !ParsePosition(v, &options.m_Latitude, &options.m_Longitude))
        return Fail("--position needs LAT,LON in degrees");
    } else if (arg == "--move") {
      if (!value(&v) || !ParsePosition(v, &moveLat, &moveLon)) return Fail("--move needs LAT,LON in degrees");
      move = true;
    } else if (arg == "--path") {
      if (!value(&pathFile)) return Fail("--path needs a file");
    } else if (arg == "--journal") {
      if (!value(&options.m_JournalPath)) return Fail("--journal needs a file");
    } else if (arg == "--dump") {
      dump = true;
    } else if (arg == "--quiet") {
      quiet = true;
    } else if (arg == "--never-ack") {
      options.m_Faults.m_NeverAcknowledge = true;
    } else if (arg == "--bad-data") {
      options.m_Faults.m_BadData = true;
    } else if (arg == "--answer-after") {
      if (!value(&v) || !ParseNumber(v, &n) || n > 600000) return Fail("--answer-after needs milliseconds");
      options.m_Faults.m_AnswerDelayMs = static_cast<std::uint32_t>(n);
    } else if (arg == "--refresh-answer-after") {
      if (!value(&v) || !ParseNumber(v, &n) || n > 1000) return Fail("--refresh-answer-after needs a request count");
      options.m_Faults.m_RefreshAnswerAfter = static_cast<std::uint32_t>(n);
    } else if (arg == "--refresh-at-once") {
      options.m_Faults.m_RefreshAnswerAfter = 0;
    } else if (arg == "--faults-from") {
      if (!value(&v) || !ParseNumber(v, &n) || n == 0) return Fail("--faults-from needs a request number");
      options.m_Faults.m_FromRequest = n;
    } else if (arg == "--exit-after") {
      if (!value(&v) || !ParseNumber(v, &n) || n == 0) return Fail("--exit-after needs a request count");
      options.m_Faults.m_ExitAfter = n;
    } else {
      return Fail("unknown option " + arg);
    }
  }
  if (move) return SendMove(className, moveLat, moveLon);

  std::vector<PathPoint> path;
  if (!pathFile.empty()) {
    std::ifstream in(pathFile);
    if (!in) return Fail("cannot read " + pathFile);
    std::stringstream text;
    text << in.rdbuf();
    std::string error;
    if (!ParsePath(text.str(), &path, &error)) return Fail(pathFile + ": " + error);
  }

#if !defined(_WIN32)
  // Signals are taken by one thread alone, with sigwait, so none lands in the server's thread.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
#endif

  // The aircraft stands at the path's first point from the start, and the journal says so.
  if (!path.empty()) {
    options.m_Latitude = path.front().m_Latitude;
    options.m_Longitude = path.front().m_Longitude;
  }
  SimHost host(options);
  // "simhost ready" is the first line whoever waits for it reads: a message that comes in while
  // the server is starting is held until that line is out.
  std::mutex outputMutex;
  bool readyPrinted = false;
  std::vector<std::string> heldMessages;
  if (!quiet) {
    host.SetMessageCallback([&](const std::string& text) {
      std::lock_guard<std::mutex> lock(outputMutex);
      if (!readyPrinted) {
        heldMessages.push_back(text);
        return;
      }
      std::printf("message: %s\n", text.c_str());
      std::fflush(stdout);
    });
  }
  if (!options.m_JournalPath.empty() && !std::ifstream(options.m_JournalPath))
    return Fail("cannot write " + options.m_JournalPath);
  if (!path.empty()) host.SetPath(path);
  EndRequest end;
  host.SetExhaustedCallback([&end] { end.Set(/*vanish=*/true); });

  std::unique_ptr<IpcServer> server = CreateIpcServer();
  std::string error;
  if (!server->Start(
          className,
          [&host](std::uint32_t message, const std::string& name) { return host.HandleMessage(message, name); },
          &error)) {
    std::fprintf(stderr, "simhost: %s\n", error.c_str());
    return 1;
  }
  {
    std::lock_guard<std::mutex> lock(outputMutex);
    std::printf("simhost ready: class %s\n", className.c_str());
    for (const std::string& text : heldMessages) std::printf("message: %s\n", text.c_str());
    heldMessages.clear();
    readyPrinted = true;
    std::fflush(stdout);
  }

#if !defined(_WIN32)
  std::thread([&end, signals] {
    int signal = 0;
    sigwait(&signals, &signal);
    end.Set(/*vanish=*/false);
  }).detach();
#else
  // Without signals: the end of the standard input ends the serving.
  std::thread([&end] {
    while (std::getchar() != EOF) {}
    end.Set(/*vanish=*/false);
  }).detach();
#endif

  if (end.Wait()) {
    // Gone like a simulator that crashed: the last answer goes out, then nothing more. The
    // stop returns once that answer is written, unless a request got in meanwhile: the host
    // holds it, which also means the answer before it is out.
    auto stopped = std::async(std::launch::async, [&server] { server->Stop(); });
    while (stopped.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready && !host.HoldingARequest()) {}
    if (dump) std::fputs(host.DumpCommitted().c_str(), stdout);
    std::fflush(stdout);
    std::_Exit(0);
  }
  host.Release();
  server->Stop();
  if (dump) std::fputs(host.DumpCommitted().c_str(), stdout);
  std::fflush(stdout);
  std::_Exit(0);  // the thread that waited for the end may still be blocked in its wait
}
