#include "tools/qvd/qvd_decode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qvd {
namespace {

using ::testing::HasSubstr;
using Bytes = std::vector<std::uint8_t>;

void Put(Bytes& b, std::size_t at, std::uint64_t v, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

Bytes Header() {
  Bytes h = {'Q', 'u', 'i', 'l', 'l', 'v', 'e', 'x', 'D', 'i', 'a', 'g',
             'n', 'o', 's', 't', 'i', 'c', 's', 0,   1,   1,   1,   0};
  return h;
}

void Append(Bytes& file, std::uint16_t tag, const Bytes& payload) {
  file.push_back(static_cast<std::uint8_t>(tag));
  file.push_back(static_cast<std::uint8_t>(tag >> 8));
  file.push_back(static_cast<std::uint8_t>(payload.size()));
  file.push_back(static_cast<std::uint8_t>(payload.size() >> 8));
  file.insert(file.end(), payload.begin(), payload.end());
}

// A 32-bit snapshot: access violation writing 0x00000010 at 0x00401234,
// esp 0x0012FF00 inside a 0x200-byte stack ending at 0x00130000.
Bytes X86File() {
  Bytes record(80), context(716), block(52), stack(0x200);
  Put(record, 0, 0xC0000005, 4);
  Put(record, 12, 0x00401234, 4);
  Put(record, 16, 2, 4);
  Put(record, 20, 1, 4);
  Put(record, 24, 0x10, 4);
  Put(context, 184, 0x00401234, 4);  // eip
  Put(context, 196, 0x0012FF00, 4);  // esp
  Put(context, 176, 0xAAAA0001, 4);  // eax
  Put(block, 4, 0x00130000, 4);
  Put(block, 8, 0x0012E000, 4);
  Put(block, 32, 0x20, 4);
  Put(block, 36, 0x24, 4);
  for (std::size_t i = 0; i < stack.size(); ++i) stack[i] = static_cast<std::uint8_t>(i);
  Bytes f = Header();
  Append(f, 0xC000, record);
  Append(f, 0xC001, context);
  Append(f, 0xC002, block);
  Append(f, 0xC003, stack);
  return f;
}

Bytes X64File() {
  Bytes record(152), context(1232), block(104), stack(0x40);
  Put(record, 0, 0xC00000FD, 4);
  Put(record, 4, 1, 4);
  Put(record, 16, 0x00007FF612345678ull, 8);
  Put(context, 248, 0x00007FF612345678ull, 8);  // rip
  Put(context, 152, 0x000000000021F800ull, 8);  // rsp, below the saved bytes
  Put(context, 240, 0x1515151515151515ull, 8);  // r15
  Put(block, 8, 0x0000000000220000ull, 8);
  Put(block, 16, 0x000000000021F000ull, 8);
  Put(block, 72, 0x99, 8);
  Bytes f = Header();
  Append(f, 0xC000, record);
  Append(f, 0xC001, context);
  Append(f, 0xC002, block);
  Append(f, 0xC003, stack);
  return f;
}

std::uint64_t RegisterValue(const Snapshot& s, const std::string& name) {
  for (const Register& r : s.registers) {
    if (name == r.name) return r.value;
  }
  ADD_FAILURE() << "no register " << name;
  return 0;
}

TEST(QvdDecode, ThirtyTwoBitSnapshot) {
  const Bytes f = X86File();
  const DecodeResult r = Decode(f.data(), f.size());
  ASSERT_TRUE(r.snapshot) << r.error;
  const Snapshot& s = *r.snapshot;
  EXPECT_EQ(s.arch, Arch::kX86);
  ASSERT_EQ(s.records.size(), 4u);
  EXPECT_EQ(s.records[3].offset, 884u);
  ASSERT_TRUE(s.exception);
  EXPECT_EQ(s.exception->code, 0xC0000005u);
  EXPECT_EQ(s.exception->address, 0x00401234u);
  EXPECT_EQ(s.exception->parameters, (std::vector<std::uint64_t>{1, 0x10}));
  EXPECT_EQ(RegisterValue(s, "eip"), 0x00401234u);
  EXPECT_EQ(RegisterValue(s, "eax"), 0xAAAA0001u);
  ASSERT_TRUE(s.thread);
  EXPECT_EQ(s.thread->threadId, 0x24u);
  ASSERT_TRUE(s.stack && s.stack->addressesKnown);
  EXPECT_EQ(s.stack->start, 0x0012FE00u);
  EXPECT_EQ(s.stack->end, 0x00130000u);

  const std::string text = FormatText(s);
  EXPECT_THAT(text, HasSubstr("code    0xC0000005 EXCEPTION_ACCESS_VIOLATION"));
  EXPECT_THAT(text, HasSubstr("address 0x00401234"));
  EXPECT_THAT(text, HasSubstr("access  writing 0x00000010"));
  EXPECT_THAT(text, HasSubstr("stack: 0x0012FE00 to 0x00130000 (512 bytes)"));
  // The dump starts at esp, 0x100 bytes into the saved area.
  EXPECT_THAT(text, HasSubstr("top 256 bytes from the stack pointer"));
  EXPECT_THAT(text, HasSubstr("  0x0012FF00  00 01 02 03"));
  EXPECT_THAT(FormatJson(s), HasSubstr("\"address\": \"0x00401234\""));
}

TEST(QvdDecode, SixtyFourBitSnapshotIsToldApartByTheRecordLength) {
  const Bytes f = X64File();
  const DecodeResult r = Decode(f.data(), f.size());
  ASSERT_TRUE(r.snapshot) << r.error;
  const Snapshot& s = *r.snapshot;
  EXPECT_EQ(s.arch, Arch::kX64);
  EXPECT_EQ(s.exception->address, 0x00007FF612345678ull);
  EXPECT_EQ(RegisterValue(s, "rip"), 0x00007FF612345678ull);
  EXPECT_EQ(RegisterValue(s, "r15"), 0x1515151515151515ull);
  EXPECT_EQ(s.thread->threadId, 0x99u);
  EXPECT_EQ(s.stack->start, 0x21FFC0u);
  const std::string text = FormatText(s);
  EXPECT_THAT(text, HasSubstr("0xC00000FD EXCEPTION_STACK_OVERFLOW"));
  EXPECT_THAT(text, HasSubstr("(noncontinuable)"));
  // rsp lies outside the saved bytes: the dump shows the saved area.
  EXPECT_THAT(text, HasSubstr("top 64 bytes of the saved area"));
}

TEST(QvdDecode, PartialSnapshotsDecode) {
  Bytes headerOnly = Header();
  auto r = Decode(headerOnly.data(), headerOnly.size());
  ASSERT_TRUE(r.snapshot) << r.error;
  EXPECT_THAT(FormatText(*r.snapshot), HasSubstr("none (the header alone)"));

  // No exception record: the context alone tells the layout.
  Bytes noRecord = Header();
  Append(noRecord, 0xC001, Bytes(1232));
  r = Decode(noRecord.data(), noRecord.size());
  ASSERT_TRUE(r.snapshot) << r.error;
  EXPECT_EQ(r.snapshot->arch, Arch::kX64);
  EXPECT_FALSE(r.snapshot->exception);
}

TEST(QvdDecode, CorruptFilesGiveOneLineErrors) {
  const Bytes good = X86File();
  auto with = [&](std::size_t at, std::uint8_t value) {
    Bytes b = good;
    b[at] = value;
    return b;
  };
  auto mixed = [] {
    Bytes f = Header();
    Append(f, 0xC000, Bytes(80));
    Append(f, 0xC001, Bytes(1232));
    return f;
  };
  auto twice = [] {
    Bytes f = Header();
    Append(f, 0xC000, Bytes(80));
    Append(f, 0xC000, Bytes(80));
    return f;
  };
  auto swapped = [] {
    Bytes f = Header();
    Append(f, 0xC001, Bytes(716));
    Append(f, 0xC000, Bytes(80));
    return f;
  };
  auto bigStack = [] {
    Bytes f = Header();
    Append(f, 0xC003, Bytes(0xFFFD));
    return f;
  };
  struct Case {
    const char* what;
    Bytes file;
    const char* error;
  } cases[] = {
      {"empty", {}, "truncated header: 0 of 24 bytes"},
      {"short header", Bytes(good.begin(), good.begin() + 23), "truncated header: 23 of 24"},
      {"signature", with(0, 'q'), "signature"},
      {"header tail", with(23, 1), "unsupported header bytes 01 01 01 01"},
      {"half a record header", Bytes(good.begin(), good.begin() + 26),
       "truncated record header at offset 24"},
      {"truncated payload", Bytes(good.begin(), good.end() - 1),
       "truncated record 0xC003 at offset 884: 511 of 512"},
      {"unknown tag", with(25, 0xC1), "unknown record tag 0xC100 at offset 24"},
      {"wrong record length", with(26, 81), "length 81"},
      {"layouts mixed", mixed(), "x64 size, earlier records the x86 size"},
      {"repeated", twice(), "repeated"},
      {"out of order", swapped(), "out of order"},
      {"stack over the cap", bigStack(), "more than 65532"},
  };
  for (const Case& c : cases) {
    const DecodeResult r = Decode(c.file.data(), c.file.size());
    EXPECT_FALSE(r.snapshot) << c.what;
    EXPECT_THAT(r.error, HasSubstr(c.error)) << c.what;
    EXPECT_EQ(r.error.find('\n'), std::string::npos) << c.what;
  }
}

// Every cut of a valid file either ends on a record boundary and decodes,
// or is reported as truncated.
TEST(QvdDecode, EveryTruncationIsDecodedOrReported) {
  for (const Bytes& f : {X86File(), X64File()}) {
    for (std::size_t n = 0; n < f.size(); ++n) {
      const DecodeResult r = Decode(f.data(), n);
      if (!r.snapshot) {
        EXPECT_THAT(r.error, HasSubstr("truncated")) << n;
      } else {
        FormatText(*r.snapshot);
        FormatJson(*r.snapshot);
      }
    }
  }
}

}  // namespace
}  // namespace qvd
