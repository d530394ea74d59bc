#include "crash/snapshot.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crash/snapshot_fake.h"

namespace tarvish {
namespace {

using ::testing::ElementsAre;
using Bytes = std::vector<unsigned char>;

// A crash in miniature: the four blocks, filled with recognisable bytes,
// and a stack whose committed span the test chooses.
struct Crash {
  explicit Crash(std::size_t span, const SnapshotLayout& l = kSnapshotLayoutX86)
      : layout(l), record(l.exceptionRecord), context(l.context), threadBlock(l.threadBlockHead),
        stack(span + 64) {
    for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<unsigned char>(0x10 + i);
    for (std::size_t i = 0; i < context.size(); ++i) context[i] = static_cast<unsigned char>(0x80 + i);
    for (std::size_t i = 0; i < stack.size(); ++i) stack[i] = static_cast<unsigned char>(i * 7);
    pointers[0] = record.data();
    pointers[1] = context.data();
    // The stack occupies [limit, base); base sits 32 bytes below the
    // buffer's end so that reading past it would show.
    base = stack.data() + stack.size() - 32;
    SetStack(base, base - span);
  }
  void SetStack(const unsigned char* stackBase, const unsigned char* stackLimit) {
    std::memcpy(threadBlock.data() + sizeof(void*), &stackBase, sizeof stackBase);
    std::memcpy(threadBlock.data() + 2 * sizeof(void*), &stackLimit, sizeof stackLimit);
  }
  void AllowAll() {
    memory.Allow(pointers, sizeof pointers);
    memory.Allow(record.data(), record.size());
    memory.Allow(context.data(), context.size());
    memory.Allow(threadBlock.data(), threadBlock.size());
    memory.Allow(stack.data(), stack.size());
  }
  Bytes Encode() {
    WriteSnapshotHeader(sink);
    WriteSnapshotRecords(sink, memory, layout, pointers, threadBlock.data());
    return sink.bytes;
  }

  SnapshotLayout layout;
  Bytes record, context, threadBlock, stack;
  const void* pointers[2];
  unsigned char* base;
  FakeMemory memory;
  FakeSink sink;
};

Bytes Frame(std::uint16_t tag, const unsigned char* payload, std::size_t length) {
  Bytes out = {static_cast<unsigned char>(tag), static_cast<unsigned char>(tag >> 8),
               static_cast<unsigned char>(length), static_cast<unsigned char>(length >> 8)};
  out.insert(out.end(), payload, payload + length);
  return out;
}

Bytes Header() {
  Bytes h(kSnapshotSignature, kSnapshotSignature + 20);
  h.insert(h.end(), {1, 1, 1, 0});
  return h;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(SnapshotEncoder, CompleteFileByteForByte) {
  Crash c(0x3000);
  c.AllowAll();
  const Bytes file = c.Encode();
  ASSERT_EQ(file.size(), 13176u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 24),
            (Bytes{'Q', 'u', 'i', 'l', 'l', 'v', 'e', 'x', 'D', 'i', 'a', 'g', 'n', 'o', 's', 't',
                   'i', 'c', 's', 0, 1, 1, 1, 0}));
  EXPECT_EQ(Bytes(file.begin() + 24, file.begin() + 28), (Bytes{0x00, 0xC0, 0x50, 0x00}));
  EXPECT_EQ(file, Concat({Header(), Frame(0xC000, c.record.data(), 80),
                          Frame(0xC001, c.context.data(), 716),
                          Frame(0xC002, c.threadBlock.data(), 52),
                          Frame(0xC003, c.base - 0x3000, 0x3000)}));
  // Records at 24, 108, 828 and 884.
  EXPECT_EQ(file[108], 0x01);
  EXPECT_EQ(file[828], 0x02);
  EXPECT_EQ(file[884], 0x03);
}

TEST(SnapshotEncoder, PayloadsAreWrittenFromWhereTheyLie) {
  Crash c(0x100);
  c.AllowAll();
  c.Encode();
  // Five header writes, then tag, length and payload per record.
  ASSERT_EQ(c.sink.sources.size(), 5u + 4 * 3);
  EXPECT_EQ(c.sink.sources[5 + 2], c.record.data());
  EXPECT_EQ(c.sink.sources[8 + 2], c.context.data());
  EXPECT_EQ(c.sink.sources[11 + 2], c.threadBlock.data());
  EXPECT_EQ(c.sink.sources[14 + 2], c.base - 0x100);
}

TEST(SnapshotEncoder, StackCap) {
  struct Case {
    std::size_t span;
    std::size_t length;
  } cases[] = {{0xFFFC, 0xFFFC}, {0xFFFD, 0xFFFC}, {0xFFFF, 0xFFFC}, {1048576, 0xFFFC}, {4, 4}};
  for (const Case& k : cases) {
    Crash c(k.span);
    c.AllowAll();
    const Bytes file = c.Encode();
    const std::size_t at = 24 + 84 + 720 + 56;
    ASSERT_EQ(file.size(), at + 4 + k.length) << k.span;
    EXPECT_EQ(Bytes(file.begin() + at, file.end()), Frame(0xC003, c.base - k.length, k.length))
        << k.span;
  }
  Crash capped(1048576);
  capped.AllowAll();
  EXPECT_EQ(capped.Encode().size(), 66420u);
}

TEST(SnapshotEncoder, SkipAndStopRules) {
  struct Case {
    const char* what;
    bool pointers, record, context, threadBlock, stack;
    std::vector<std::uint16_t> tags;
  } cases[] = {
      {"all readable", true, true, true, true, true, {0xC000, 0xC001, 0xC002, 0xC003}},
      {"unreadable pointers: header only", false, true, true, true, true, {}},
      {"unreadable record is skipped", true, false, true, true, true, {0xC001, 0xC002, 0xC003}},
      {"unreadable context stops", true, true, false, true, true, {0xC000}},
      {"unreadable context, no record", true, false, false, true, true, {}},
      {"unreadable thread block stops", true, true, true, false, true, {0xC000, 0xC001}},
      {"unreadable stack stops", true, true, true, true, false, {0xC000, 0xC001, 0xC002}},
  };
  for (const Case& k : cases) {
    Crash c(0x40);
    if (k.pointers) c.memory.Allow(c.pointers, sizeof c.pointers);
    if (k.record) c.memory.Allow(c.record.data(), c.record.size());
    if (k.context) c.memory.Allow(c.context.data(), c.context.size());
    if (k.threadBlock) c.memory.Allow(c.threadBlock.data(), c.threadBlock.size());
    if (k.stack) c.memory.Allow(c.stack.data(), c.stack.size());
    const Bytes file = c.Encode();
    std::vector<std::uint16_t> tags;
    for (std::size_t at = 24; at + 4 <= file.size();) {
      tags.push_back(static_cast<std::uint16_t>(file[at] | file[at + 1] << 8));
      at += 4 + (file[at + 2] | file[at + 3] << 8);
    }
    EXPECT_EQ(tags, k.tags) << k.what;
  }
}

TEST(SnapshotEncoder, NoStackRecordUnlessTheLimitIsBelowTheBase) {
  for (std::ptrdiff_t limitOffset : {0, 16}) {
    Crash c(0x40);
    c.SetStack(c.base, c.base + limitOffset);
    c.AllowAll();
    EXPECT_EQ(c.Encode().size(), 24u + 84 + 720 + 56) << limitOffset;
  }
}

TEST(SnapshotEncoder, AFailedWriteAbandonsOnlyThatRecord) {
  // Writes 1-5 are the header; the exception record is 6-8, the context 9-11.
  struct Case {
    int failing;
    std::size_t expectedSize;
  } cases[] = {
      {6, 24 + 720 + 56 + 4 + 0x40},       // tag of the exception record: nothing of it
      {7, 24 + 2 + 720 + 56 + 4 + 0x40},   // its length: the tag alone
      {8, 24 + 4 + 720 + 56 + 4 + 0x40},   // its payload: tag and length
      {11, 24 + 84 + 4 + 56 + 4 + 0x40},   // the context's payload
      {2, 23 + 84 + 720 + 56 + 4 + 0x40},  // a header byte: the records still follow
  };
  for (const Case& k : cases) {
    Crash c(0x40);
    c.AllowAll();
    c.sink.failingWrites = {k.failing};
    const Bytes file = c.Encode();
    EXPECT_EQ(file.size(), k.expectedSize) << "write " << k.failing;
    // The records after the failed one are whole: the stack closes the file.
    EXPECT_EQ(Bytes(file.end() - 0x40, file.end()), Bytes(c.base - 0x40, c.base)) << k.failing;
  }
}

TEST(SnapshotEncoder, SixtyFourBitLayoutUsesTheSameFramingWithLargerRecords) {
  Crash c(0x3000, kSnapshotLayoutX64);
  c.AllowAll();
  const Bytes file = c.Encode();
  EXPECT_EQ(file, Concat({Header(), Frame(0xC000, c.record.data(), 152),
                          Frame(0xC001, c.context.data(), 1232),
                          Frame(0xC002, c.threadBlock.data(), 104),
                          Frame(0xC003, c.base - 0x3000, 0x3000)}));
}

}  // namespace
}  // namespace tarvish
