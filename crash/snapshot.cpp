#include "crash/snapshot.h"

#include <cstring>

namespace tarvish {

namespace {

// Record framing and header bytes live in module storage and are written
// from there: the crash gate gives them to one thread at a time.
unsigned char gRecordTag[2];
unsigned char gRecordLength[2];
const void* gStackStart;

void StoreLittleEndian(unsigned char (&out)[2], std::uint16_t value) {
  out[0] = static_cast<unsigned char>(value & 0xFF);
  out[1] = static_cast<unsigned char>(value >> 8);
}

// Tag, length, payload: each write only if the one before it succeeded.
void WriteRecord(SnapshotSink& sink, std::uint16_t tag, const void* payload, std::uint16_t length) {
  StoreLittleEndian(gRecordTag, tag);
  StoreLittleEndian(gRecordLength, length);
  if (!sink.Write(gRecordTag, sizeof gRecordTag)) return;
  if (!sink.Write(gRecordLength, sizeof gRecordLength)) return;
  sink.Write(payload, length);
}

const void* PointerAt(const void* block, std::size_t index) {
  const void* value;
  std::memcpy(&value, static_cast<const unsigned char*>(block) + index * sizeof(void*), sizeof value);
  return value;
}

}  // namespace

void WriteSnapshotHeader(SnapshotSink& sink) {
  sink.Write(kSnapshotSignature, sizeof kSnapshotSignature);
  for (const unsigned char& b : kSnapshotHeaderTail) sink.Write(&b, 1);
}

void WriteSnapshotRecords(SnapshotSink& sink, SnapshotMemory& memory, const SnapshotLayout& layout,
                          const void* exceptionPointers, const void* threadBlock) {
  if (!memory.Readable(exceptionPointers, 2 * sizeof(void*))) return;
  const void* record = PointerAt(exceptionPointers, 0);
  const void* context = PointerAt(exceptionPointers, 1);

  if (memory.Readable(record, layout.exceptionRecord)) {
    WriteRecord(sink, kTagExceptionRecord, record, layout.exceptionRecord);
  }

  if (!memory.Readable(context, layout.context)) return;
  WriteRecord(sink, kTagContext, context, layout.context);

  if (!memory.Readable(threadBlock, layout.threadBlockHead)) return;
  WriteRecord(sink, kTagThreadBlock, threadBlock, layout.threadBlockHead);

  const auto stackBase = reinterpret_cast<std::uintptr_t>(PointerAt(threadBlock, 1));
  const auto stackLimit = reinterpret_cast<std::uintptr_t>(PointerAt(threadBlock, 2));
  if (stackLimit >= stackBase) return;
  const std::uintptr_t span = stackBase - stackLimit;
  const std::uintptr_t length = span <= kSnapshotStackCap ? span : kSnapshotStackCap;
  gStackStart = reinterpret_cast<const void*>(stackBase - length);
  if (!memory.Readable(gStackStart, length)) return;
  WriteRecord(sink, kTagStack, gStackStart, static_cast<std::uint16_t>(length));
}

}  // namespace tarvish
