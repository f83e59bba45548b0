#pragma once
// FSUIPC_Client: the client of FSUIPC (or WideClient). Reads and writes are queued as records in
// a shared-memory area (simlink/ipc_batch.h) and sent to the simulator's window as one message
// per batch.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ipc_transport.h"
#include "simlink/ipc_batch.h"

inline constexpr int kHandshakeAttempts = 5;
inline constexpr int kSendAttempts = 9;
inline constexpr std::uint32_t kLibraryVersion = 1004;
inline constexpr std::uint32_t kMinFsuipcVersion = 0x19980005;
inline constexpr std::uint32_t kFsVersionMagic = 0xFADE;
inline constexpr const char* kIpcMessageName = "FsasmLib:IPC";
inline constexpr const char* kFsuipcWindowClass = "UIPCMAIN";
inline constexpr const char* kFs98WindowClass = "FS98MAIN";

// FSUIPC offsets the client itself uses.
inline constexpr std::uint32_t kOffsetFsuipcVersion = 0x3304;
inline constexpr std::uint32_t kOffsetFsVersion = 0x3308;
inline constexpr std::uint32_t kOffsetLibraryVersion = 0x330A;

// Result codes (GetResult); GetResultText gives the text of each.
enum : std::int32_t {
  kIpcOk = 0,
  kIpcAlreadyOpen = 1,
  kIpcNoSimulator = 2,
  kIpcNoMessage = 3,
  kIpcNoAtom = 4,
  kIpcNoMapping = 5,
  kIpcNoView = 6,
  kIpcWrongFsuipc = 7,
  kIpcWrongFsVersion = 8,
  kIpcNotOpen = 9,
  kIpcNothingQueued = 10,
  kIpcTimedOut = 11,
  kIpcSendFailed = 12,
  kIpcBadData = 13,
  kIpcWideClientNoServer = 14,
  kIpcBatchFull = 15,
};

// Waits and sleeps of the link in milliseconds. Fixed in the program; tests shorten them.
struct IpcTimings {
  std::atomic<std::uint32_t> m_SendTimeoutMs{2000};
  std::atomic<std::uint32_t> m_SendRetrySleepMs{100};
  std::atomic<std::uint32_t> m_HandshakeSleepMs{100};
};
extern IpcTimings g_IpcTimings;

// Raised by every Open that gets as far as naming its shared memory; shared by all clients.
extern std::atomic<std::uint32_t> g_IpcMappingCounter;

class FSUIPC_Client {
 public:
  FSUIPC_Client();  // on the target's own transport
  explicit FSUIPC_Client(IpcTransport& transport);
  virtual ~FSUIPC_Client();
  FSUIPC_Client(const FSUIPC_Client&) = delete;
  FSUIPC_Client& operator=(const FSUIPC_Client&) = delete;

  // Opens the link and checks the versions; requestedVersion 0 accepts any simulator.
  bool Open(std::uint32_t requestedVersion);
  void Close();
  // Queue a request; the read's destination (may be null: data skipped) is filled by Process and
  // must stay valid until then. Write copies the bytes at once (null source: zeros).
  bool Read(std::uint32_t offset, std::uint32_t size, void* destination);
  bool Write(std::uint32_t offset, std::uint32_t size, const void* source);
  bool Process();
  bool ReadAndProcess(std::uint32_t offset, std::uint32_t size, void* destination);
  bool WriteAndProcess(std::uint32_t offset, std::uint32_t size, const void* source);

  std::int32_t GetResult() const { return m_Result.load(); }
  std::string GetResultText() const { return ResultText(m_Result.load()); }
  std::uint32_t GetFSVersion() const { return m_FsVersion.load(); }
  std::uint32_t GetFsuipcVersion() const { return m_FsuipcVersion.load(); }
  bool IsOpen() const;

  static std::string ResultText(std::int32_t code);

 private:
  // What the client queued, in record order: the answer is walked against this, so untrusted
  // sizes and kinds in the area never steer a copy.
  struct Queued {
    std::uint32_t kind;
    std::uint32_t size;
    void* destination;
  };

  bool OpenLocked(std::uint32_t requestedVersion);
  bool HandshakeFailed();
  void DeliverAnswer();
  bool AreaShrunk();  // lock held, link open

  IpcTransport& m_Transport;
  std::atomic<std::int32_t> m_Result{kIpcOk};
  IpcWindow m_Window = 0;
  std::uint32_t m_MessageId = 0;
  std::uint16_t m_Atom = 0;
  std::unique_ptr<IpcSharedMemory> m_Mapping;
  std::uint8_t* m_AreaStart = nullptr;
  IpcBatchWriter m_Batch;
  std::atomic<std::uint32_t> m_FsuipcVersion{0};
  std::atomic<std::uint32_t> m_FsVersion{0};
  std::uint32_t m_LibraryVersion = kLibraryVersion;
  std::vector<Queued> m_Queued;
  mutable std::recursive_mutex m_Lock;
};
