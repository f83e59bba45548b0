#include "simlink/ipc_batch.h"

#include <cstring>

#include "base/bytes.h"

bool IpcBatchWriter::Fits(std::size_t header, std::uint32_t size) const {
  return std::uint64_t{size} + m_Used + header + 4 <= m_Limit;
}

bool IpcBatchWriter::AddRead(std::uint32_t offset, std::uint32_t size, std::uint32_t destination) {
  if (!Fits(kReadHeaderSize, size)) return false;
  std::uint8_t* record = m_Area + m_Used;
  StoreU32(record, kRecordRead);
  StoreU32(record + 4, offset);
  StoreU32(record + 8, size);
  StoreU32(record + 12, destination);
  std::memset(record + kReadHeaderSize, 0, size);
  m_Used += kReadHeaderSize + size;
  return true;
}

bool IpcBatchWriter::AddWrite(std::uint32_t offset, std::uint32_t size, const void* source) {
  if (!Fits(kWriteHeaderSize, size)) return false;
  std::uint8_t* record = m_Area + m_Used;
  StoreU32(record, kRecordWrite);
  StoreU32(record + 4, offset);
  StoreU32(record + 8, size);
  if (source)
    std::memcpy(record + kWriteHeaderSize, source, size);
  else
    std::memset(record + kWriteHeaderSize, 0, size);
  m_Used += kWriteHeaderSize + size;
  return true;
}

bool IpcBatchWriter::Finish() {
  if (m_Used == 0) return false;
  StoreU32(m_Area + m_Used, kRecordEnd);
  m_Used = 0;
  return true;
}

IpcStep IpcBatchWalker::Next(IpcRecord* record) {
  if (m_Over) return m_Last;
  m_Over = true;
  if (m_Pos + 4 > m_Size) return m_Last = IpcStep::kCut;
  const std::uint32_t kind = LoadU32(m_Area + m_Pos);
  if (kind == kRecordEnd) return m_Last = IpcStep::kEnd;
  if (kind != kRecordRead && kind != kRecordWrite) return m_Last = IpcStep::kUnknownKind;
  const std::size_t header = kind == kRecordRead ? kReadHeaderSize : kWriteHeaderSize;
  if (m_Pos + header > m_Size) return m_Last = IpcStep::kCut;
  const std::uint32_t size = LoadU32(m_Area + m_Pos + 8);
  if (size > m_Size - m_Pos - header) return m_Last = IpcStep::kCut;
  record->kind = kind;
  record->offset = LoadU32(m_Area + m_Pos + 4);
  record->size = size;
  record->destination = kind == kRecordRead ? LoadU32(m_Area + m_Pos + 12) : 0;
  record->data = m_Area + m_Pos + header;
  m_Pos += header + size;
  m_Over = false;
  return IpcStep::kRecord;
}
