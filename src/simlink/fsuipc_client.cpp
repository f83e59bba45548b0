#include "simlink/fsuipc_client.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "base/bytes.h"
#include "base/sleep.h"

IpcTimings g_IpcTimings;
std::atomic<std::uint32_t> g_IpcMappingCounter{0};

namespace {

// Takes the client's lock, or reports that it could not be taken.
class LockOrFail {
 public:
  explicit LockOrFail(std::recursive_mutex& mutex) : m_Lock(mutex, std::defer_lock) {
    try {
      m_Lock.lock();
    } catch (const std::system_error&) {}
  }
  explicit operator bool() const { return m_Lock.owns_lock(); }

 private:
  std::unique_lock<std::recursive_mutex> m_Lock;
};

}  // namespace

FSUIPC_Client::FSUIPC_Client() : FSUIPC_Client(DefaultIpcTransport()) {}

FSUIPC_Client::FSUIPC_Client(IpcTransport& transport) : m_Transport(transport) {}

FSUIPC_Client::~FSUIPC_Client() { Close(); }

bool FSUIPC_Client::IsOpen() const {
  std::lock_guard lock(m_Lock);
  return m_AreaStart != nullptr;
}

bool FSUIPC_Client::Open(std::uint32_t requestedVersion) {
  LockOrFail lock(m_Lock);
  if (!lock) return false;
  return OpenLocked(requestedVersion);
}

bool FSUIPC_Client::OpenLocked(std::uint32_t requestedVersion) {
  if (m_AreaStart) {
    m_Result = kIpcAlreadyOpen;
    return false;
  }
  m_FsuipcVersion = 0;
  m_FsVersion = 0;

  bool foundFs98 = false;
  m_Window = m_Transport.FindWindow(kFsuipcWindowClass);
  if (!m_Window) {
    m_Window = m_Transport.FindWindow(kFs98WindowClass);
    foundFs98 = m_Window != 0;
  }
  if (!m_Window) {
    m_Result = kIpcNoSimulator;
    return false;
  }
  m_MessageId = m_Transport.RegisterMessage(kIpcMessageName);
  if (!m_MessageId) {
    m_Result = kIpcNoMessage;
    return false;
  }

  std::uint32_t counter = g_IpcMappingCounter.fetch_add(1) + 1;
  char name[64];
  std::snprintf(name, sizeof name, "FsasmLib:IPC:%X:%X", static_cast<unsigned>(m_Transport.ProcessId()),
                static_cast<unsigned>(counter));

  m_Atom = m_Transport.AddAtom(name);
  if (!m_Atom) {
    m_Result = kIpcNoAtom;
    Close();
    return false;
  }
  bool existed = false;
  m_Mapping = m_Transport.CreateSharedMemory(name, kIpcAreaSize, &existed);
  if (!m_Mapping || existed) {
    m_Result = kIpcNoMapping;
    Close();
    return false;
  }
  m_AreaStart = m_Mapping->Map();
  if (!m_AreaStart) {
    m_Result = kIpcNoView;
    Close();
    return false;
  }
  m_Batch = IpcBatchWriter(m_AreaStart);
  m_Queued.clear();

  // Destinations must outlive each Process; the versions are stored once answered.
  std::uint8_t fsuipcVersion[4] = {};
  std::uint8_t fsVersion[4] = {};
  for (int attempt = 0; attempt < kHandshakeAttempts && (m_FsuipcVersion == 0 || m_FsVersion == 0); ++attempt) {
    bool ok = Read(kOffsetFsuipcVersion, 4, fsuipcVersion) && Read(kOffsetFsVersion, 4, fsVersion);
    if (ok && attempt == 0) {
      std::uint8_t library[2];
      StoreU16(library, static_cast<std::uint16_t>(m_LibraryVersion));
      ok = Write(kOffsetLibraryVersion, 2, library);
    }
    if (ok) ok = Process();
    if (ok) {
      m_FsuipcVersion = LoadU32(fsuipcVersion);
      m_FsVersion = LoadU32(fsVersion);
      SleepMs(g_IpcTimings.m_HandshakeSleepMs);
    }
    if (!ok) {
      std::int32_t code = m_Result;
      Close();
      m_Result = code;
      return false;
    }
  }

  if (m_FsuipcVersion < kMinFsuipcVersion || (m_FsVersion >> 16) != kFsVersionMagic) {
    m_Result = foundFs98 ? kIpcWideClientNoServer : kIpcWrongFsuipc;
    Close();
    return false;
  }
  m_FsVersion = m_FsVersion & 0xFFFFu;
  if (requestedVersion != 0 && requestedVersion != m_FsVersion) {
    m_Result = kIpcWrongFsVersion;
    Close();
    return false;
  }
  m_Result = kIpcOk;
  return true;
}

// The other process may shrink the shared area under the view; touching it then would end this
// process with a bus error. The link is closed instead, and every later call fails with 9.
bool FSUIPC_Client::AreaShrunk() {
  if (m_Mapping && m_Mapping->Intact()) return false;
  Close();
  return true;
}

void FSUIPC_Client::Close() {
  LockOrFail lock(m_Lock);
  if (!lock) return;
  m_Window = 0;
  m_MessageId = 0;
  if (m_Atom) {
    m_Transport.DeleteAtom(m_Atom);
    m_Atom = 0;
  }
  if (m_AreaStart) {
    m_Mapping->Unmap();
    m_AreaStart = nullptr;
  }
  m_Mapping.reset();
  m_Batch = IpcBatchWriter();
  m_Queued.clear();
}

bool FSUIPC_Client::Read(std::uint32_t offset, std::uint32_t size, void* destination) {
  LockOrFail lock(m_Lock);
  if (!lock) return false;
  if (!m_AreaStart || AreaShrunk()) {
    m_Result = kIpcNotOpen;
    return false;
  }
  // The field is 32 bits wide, too narrow for an address here: it carries the read's number
  // (0: no destination) and the client keeps the destinations itself.
  if (!m_Batch.AddRead(offset, size, destination ? static_cast<std::uint32_t>(m_Queued.size() + 1) : 0)) {
    m_Result = kIpcBatchFull;
    return false;
  }
  m_Queued.push_back({kRecordRead, size, destination});
  m_Result = kIpcOk;
  return true;
}

bool FSUIPC_Client::Write(std::uint32_t offset, std::uint32_t size, const void* source) {
  LockOrFail lock(m_Lock);
  if (!lock) return false;
  if (!m_AreaStart || AreaShrunk()) {
    m_Result = kIpcNotOpen;
    return false;
  }
  if (!m_Batch.AddWrite(offset, size, source)) {
    m_Result = kIpcBatchFull;
    return false;
  }
  m_Queued.push_back({kRecordWrite, size, nullptr});
  m_Result = kIpcOk;
  return true;
}

bool FSUIPC_Client::Process() {
  LockOrFail lock(m_Lock);
  if (!lock) return false;
  if (!m_AreaStart || AreaShrunk()) {
    m_Result = kIpcNotOpen;
    return false;
  }
  // The batch is consumed whatever happens next.
  if (!m_Batch.Finish()) {
    m_Result = kIpcNothingQueued;
    return false;
  }

  std::intptr_t answer = 0;
  bool sent = false;
  for (int attempt = 0; attempt < kSendAttempts && !sent; ++attempt) {
    sent = m_Transport.SendMessageTimeout(m_Window, m_MessageId, m_Atom, g_IpcTimings.m_SendTimeoutMs, &answer);
    if (!sent) SleepMs(g_IpcTimings.m_SendRetrySleepMs);
  }
  if (!sent) {
    m_Result = m_Transport.LastError() != 0 ? kIpcSendFailed : kIpcTimedOut;
    m_Queued.clear();
    return false;
  }
  if (answer != 1 || AreaShrunk()) {
    m_Result = kIpcBadData;
    m_Queued.clear();
    return false;
  }
  DeliverAnswer();
  m_Queued.clear();
  m_Result = kIpcOk;
  return true;
}

// Walks the answered area record by record. The other process wrote it: a record that does not
// fit the area or does not match what was queued ends the walk, like an unknown kind.
void FSUIPC_Client::DeliverAnswer() {
  IpcBatchWalker walker(m_AreaStart, kIpcAreaSize);
  IpcRecord record;
  for (std::size_t index = 0;; ++index) {
    const IpcStep step = walker.Next(&record);
    if (step == IpcStep::kUnknownKind) StoreU32(m_AreaStart + walker.Position(), kRecordEnd);
    if (step != IpcStep::kRecord || index >= m_Queued.size()) return;
    const Queued& queued = m_Queued[index];
    if (queued.kind != record.kind || queued.size != record.size) return;
    if (record.kind == kRecordRead && queued.destination && record.size != 0)
      std::memcpy(queued.destination, record.data, record.size);
  }
}

bool FSUIPC_Client::ReadAndProcess(std::uint32_t offset, std::uint32_t size, void* destination) {
  LockOrFail lock(m_Lock);
  if (!lock) return false;
  return Read(offset, size, destination) && Process();
}

bool FSUIPC_Client::WriteAndProcess(std::uint32_t offset, std::uint32_t size, const void* source) {
  LockOrFail lock(m_Lock);
  if (!lock) return false;
  return Write(offset, size, source) && Process();
}

std::string FSUIPC_Client::ResultText(std::int32_t code) {
  static const char* const kTexts[] = {
      "Okay",
      "Attempt to Open when already Open",
      "Cannot link to FSUIPC or WideClient",
      "Failed to Register common message with Windows",
      "Failed to create Atom for mapping filename",
      "Failed to create a file mapping object",
      "Failed to open a view to the file map",
      "Incorrect version of FSUIPC, or not FSUIPC",
      "Flight Simulator is not version requested",
      "Call cannot execute: Link not Open",
      "Call cannot execute: No requests accumulated",
      "IPC timed out all retries",
      "IPC sendmessage failed all retries",
      "IPC request contains bad data",
      "Maybe running on WideClient, but FS not running on Server, or wrong FSUIPC",
      "Read or Write request cannot be added, memory for Process is full",
  };
  auto index = static_cast<std::uint32_t>(code);
  if (index < sizeof kTexts / sizeof kTexts[0]) return kTexts[index];
  return "Unknown error";
}
