#pragma once
// The request batch of the FSUIPC link, as both ends lay it out in the shared area. Records
// follow each other from the area start, every number 32-bit little-endian:
//   read:  kind 1, offset, size, destination; then size bytes the simulator fills   (16 + size)
//   write: kind 2, offset, size; then the size bytes                               (12 + size)
//   end:   kind 0                                                                  (4)
// The client builds a batch with IpcBatchWriter; each end reads the other's area with
// IpcBatchWalker, which never steps past the area it was given.
#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kIpcAreaSize = 0x8000;
inline constexpr std::size_t kBatchLimit = 0x7F00;  // a batch, terminator included
inline constexpr std::size_t kReadHeaderSize = 16;
inline constexpr std::size_t kWriteHeaderSize = 12;
inline constexpr std::uint32_t kRecordEnd = 0;
inline constexpr std::uint32_t kRecordRead = 1;
inline constexpr std::uint32_t kRecordWrite = 2;

// Appends records to an area and ends the batch. Nothing is checked against the area's real
// size: the area must hold `limit` bytes.
class IpcBatchWriter {
 public:
  IpcBatchWriter() = default;
  explicit IpcBatchWriter(std::uint8_t* area, std::size_t limit = kBatchLimit) : m_Area(area), m_Limit(limit) {}

  // A read of `size` bytes at `offset`, its data zeroed; `destination` is the number the
  // client gives the read (0: none). False, leaving the batch as it was, when the record and
  // the end marker would pass the limit.
  bool AddRead(std::uint32_t offset, std::uint32_t size, std::uint32_t destination);
  // A write of `size` bytes from `source` (null: zeros). False as for AddRead.
  bool AddWrite(std::uint32_t offset, std::uint32_t size, const void* source);
  // Writes the end marker and starts the next batch at the area start; false, writing
  // nothing, when no record was added.
  bool Finish();
  // Forgets the records added since the last Finish.
  void Clear() { m_Used = 0; }
  std::size_t Used() const { return m_Used; }

 private:
  bool Fits(std::size_t header, std::uint32_t size) const;

  std::uint8_t* m_Area = nullptr;
  std::size_t m_Limit = kBatchLimit;
  std::size_t m_Used = 0;
};

// One record as the walker found it; data points into the area.
struct IpcRecord {
  std::uint32_t kind = kRecordEnd;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t destination = 0;  // reads only
  std::uint8_t* data = nullptr;
};

enum class IpcStep {
  kRecord,       // a whole record within the area
  kEnd,          // the end marker
  kUnknownKind,  // a kind that is neither read, write nor end
  kCut,          // the kind, header or data would pass the end of the area
};

// Steps through an area written by the other process. After anything but kRecord the walk is
// over and every further step gives the same answer.
class IpcBatchWalker {
 public:
  IpcBatchWalker(std::uint8_t* area, std::size_t size) : m_Area(area), m_Size(size) {}
  IpcStep Next(IpcRecord* record);
  // Byte offset of the record the next step reads, or of the one that ended the walk.
  std::size_t Position() const { return m_Pos; }

 private:
  std::uint8_t* m_Area;
  std::size_t m_Size;
  std::size_t m_Pos = 0;
  bool m_Over = false;
  IpcStep m_Last = IpcStep::kRecord;
};
