#include "tools/qvd/qvd_decode.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "crash/snapshot.h"
#include "crash/snapshot_layout.h"

namespace qvd {

namespace {

using tarvish::kSnapshotHeaderSize;
using tarvish::kSnapshotHeaderTail;
using tarvish::kSnapshotSignature;
using tarvish::kSnapshotStackCap;
using tarvish::kTagContext;
using tarvish::kTagExceptionRecord;
using tarvish::kTagStack;
using tarvish::kTagThreadBlock;

// The records are kept by their tag's distance from the first one.
static_assert(kTagContext == kTagExceptionRecord + 1 && kTagThreadBlock == kTagExceptionRecord + 2 &&
              kTagStack == kTagExceptionRecord + 3);

// The record sizes of each layout, and where the decoder finds the fields
// inside the exception record.
struct Layout {
  Arch arch;
  const char* name;
  tarvish::SnapshotLayout sizes;
  std::size_t pointer;
  std::size_t addressOffset, numberOffset, informationOffset;
};
constexpr Layout kX86{Arch::kX86, "x86", tarvish::kSnapshotLayoutX86, 4, 12, 16, 20};
constexpr Layout kX64{Arch::kX64, "x64", tarvish::kSnapshotLayoutX64, 8, 16, 24, 32};

std::uint64_t Read(const std::uint8_t* p, std::size_t size) {
  std::uint64_t v = 0;
  for (std::size_t i = size; i-- > 0;) v = v << 8 | p[i];
  return v;
}

#if defined(__MINGW32__)
#define QVD_PRINTF_FORMAT gnu_printf
#else
#define QVD_PRINTF_FORMAT printf
#endif
std::string Format(const char* format, ...) __attribute__((format(QVD_PRINTF_FORMAT, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

const char* TagName(std::uint16_t tag) {
  switch (tag) {
    case kTagExceptionRecord: return "exception record";
    case kTagContext: return "context";
    case kTagThreadBlock: return "thread block";
    case kTagStack: return "stack";
  }
  return "unknown";
}

// The layout a record's length implies, or nullptr when it fits neither.
const Layout* LayoutFor(std::uint16_t tag, std::size_t length) {
  for (const Layout* l : {&kX86, &kX64}) {
    if ((tag == kTagExceptionRecord && length == l->sizes.exceptionRecord) ||
        (tag == kTagContext && length == l->sizes.context) ||
        (tag == kTagThreadBlock && length == l->sizes.threadBlockHead)) {
      return l;
    }
  }
  return nullptr;
}

struct RegisterField {
  const char* name;
  std::size_t offset, size;
};
constexpr RegisterField kX86Registers[] = {
    {"eax", 176, 4}, {"ebx", 164, 4}, {"ecx", 172, 4}, {"edx", 168, 4}, {"esi", 160, 4},
    {"edi", 156, 4}, {"ebp", 180, 4}, {"esp", 196, 4}, {"eip", 184, 4}, {"eflags", 192, 4},
    {"cs", 188, 4},  {"ss", 200, 4},  {"ds", 152, 4},  {"es", 148, 4},  {"fs", 144, 4},
    {"gs", 140, 4},
};
constexpr RegisterField kX64Registers[] = {
    {"rax", 120, 8}, {"rbx", 144, 8}, {"rcx", 128, 8}, {"rdx", 136, 8}, {"rsi", 168, 8},
    {"rdi", 176, 8}, {"rbp", 160, 8}, {"rsp", 152, 8}, {"r8", 184, 8},  {"r9", 192, 8},
    {"r10", 200, 8}, {"r11", 208, 8}, {"r12", 216, 8}, {"r13", 224, 8}, {"r14", 232, 8},
    {"r15", 240, 8}, {"rip", 248, 8}, {"eflags", 68, 4}, {"cs", 56, 2}, {"ss", 66, 2},
    {"ds", 58, 2},   {"es", 60, 2},   {"fs", 62, 2},   {"gs", 64, 2},
};

DecodeResult Fail(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

const char* ExceptionName(std::uint32_t code) {
  switch (code) {
    case 0xC0000005: return "EXCEPTION_ACCESS_VIOLATION";
    case 0xC00000FD: return "EXCEPTION_STACK_OVERFLOW";
    case 0xC0000094: return "EXCEPTION_INT_DIVIDE_BY_ZERO";
    case 0xC0000095: return "EXCEPTION_INT_OVERFLOW";
    case 0xC000001D: return "EXCEPTION_ILLEGAL_INSTRUCTION";
    case 0xC0000096: return "EXCEPTION_PRIV_INSTRUCTION";
    case 0xC0000006: return "EXCEPTION_IN_PAGE_ERROR";
    case 0xC000008C: return "EXCEPTION_ARRAY_BOUNDS_EXCEEDED";
    case 0xC000008D: return "EXCEPTION_FLT_DENORMAL_OPERAND";
    case 0xC000008E: return "EXCEPTION_FLT_DIVIDE_BY_ZERO";
    case 0xC000008F: return "EXCEPTION_FLT_INEXACT_RESULT";
    case 0xC0000090: return "EXCEPTION_FLT_INVALID_OPERATION";
    case 0xC0000091: return "EXCEPTION_FLT_OVERFLOW";
    case 0xC0000092: return "EXCEPTION_FLT_STACK_CHECK";
    case 0xC0000093: return "EXCEPTION_FLT_UNDERFLOW";
    case 0xC0000025: return "EXCEPTION_NONCONTINUABLE_EXCEPTION";
    case 0xC0000026: return "EXCEPTION_INVALID_DISPOSITION";
    case 0xC0000409: return "STATUS_STACK_BUFFER_OVERRUN";
    case 0xC0000374: return "STATUS_HEAP_CORRUPTION";
    case 0x80000001: return "EXCEPTION_GUARD_PAGE";
    case 0x80000002: return "EXCEPTION_DATATYPE_MISALIGNMENT";
    case 0x80000003: return "EXCEPTION_BREAKPOINT";
    case 0x80000004: return "EXCEPTION_SINGLE_STEP";
    case 0xE06D7363: return "Microsoft C++ exception";
  }
  return nullptr;
}

DecodeResult Decode(const std::uint8_t* data, std::size_t size) {
  if (size < kSnapshotHeaderSize) {
    return Fail(Format("truncated header: %zu of %zu bytes", size, kSnapshotHeaderSize));
  }
  if (std::memcmp(data, kSnapshotSignature, sizeof kSnapshotSignature) != 0) {
    return Fail(Format("not a snapshot file: the signature \"%s\" is missing", kSnapshotSignature));
  }
  const std::uint8_t* tail = data + sizeof kSnapshotSignature;
  if (std::memcmp(tail, kSnapshotHeaderTail, sizeof kSnapshotHeaderTail) != 0) {
    const unsigned char* expected = kSnapshotHeaderTail;
    return Fail(Format("unsupported header bytes %02x %02x %02x %02x (expected %02x %02x %02x %02x)",
                       tail[0], tail[1], tail[2], tail[3], expected[0], expected[1], expected[2],
                       expected[3]));
  }

  Snapshot s{};
  const Layout* layout = nullptr;
  const std::uint8_t* payload[kTagStack - kTagExceptionRecord + 1] = {};
  std::size_t at = kSnapshotHeaderSize;
  while (at < size) {
    if (size - at < 4) {
      return Fail(Format("truncated record header at offset %zu: %zu of 4 bytes", at, size - at));
    }
    const auto tag = static_cast<std::uint16_t>(Read(data + at, 2));
    const auto length = static_cast<std::size_t>(Read(data + at + 2, 2));
    if (tag < kTagExceptionRecord || tag > kTagStack) {
      return Fail(Format("unknown record tag 0x%04X at offset %zu", tag, at));
    }
    const std::size_t index = tag - kTagExceptionRecord;
    if (!s.records.empty() && tag <= s.records.back().tag) {
      return Fail(Format("record 0x%04X at offset %zu is %s", tag, at,
                         payload[index] ? "repeated" : "out of order"));
    }
    if (length > size - at - 4) {
      return Fail(Format("truncated record 0x%04X at offset %zu: %zu of %zu payload bytes", tag,
                         at, size - at - 4, length));
    }
    if (tag == kTagStack) {
      if (length > kSnapshotStackCap) {
        return Fail(Format("stack record at offset %zu is %zu bytes, more than %zu", at, length,
                           static_cast<std::size_t>(kSnapshotStackCap)));
      }
    } else {
      const Layout* implied = LayoutFor(tag, length);
      if (implied == nullptr) {
        return Fail(Format("%s record at offset %zu has length %zu, neither the x86 nor the x64 size",
                           TagName(tag), at, length));
      }
      if (layout != nullptr && implied != layout) {
        return Fail(Format("%s record at offset %zu has the %s size, earlier records the %s size",
                           TagName(tag), at, implied->name, layout->name));
      }
      layout = implied;
    }
    payload[index] = data + at + 4;
    s.records.push_back({tag, at, length});
    at += 4 + length;
  }

  // A file with only a stack record has nothing to tell the layout by; its
  // bytes are shown all the same.
  if (layout == nullptr) layout = &kX86;
  s.arch = layout->arch;
  const std::size_t ptr = layout->pointer;

  if (const std::uint8_t* r = payload[0]) {
    ExceptionInfo e{};
    e.code = static_cast<std::uint32_t>(Read(r, 4));
    e.flags = static_cast<std::uint32_t>(Read(r + 4, 4));
    e.nested = Read(r + 8, ptr);
    e.address = Read(r + layout->addressOffset, ptr);
    e.numberParameters = static_cast<std::uint32_t>(Read(r + layout->numberOffset, 4));
    const std::uint32_t shown = e.numberParameters < 15 ? e.numberParameters : 15;
    for (std::uint32_t i = 0; i < shown; ++i) {
      e.parameters.push_back(Read(r + layout->informationOffset + i * ptr, ptr));
    }
    s.exception = e;
  }
  if (const std::uint8_t* c = payload[1]) {
    if (layout->arch == Arch::kX86) {
      for (const RegisterField& field : kX86Registers) s.registers.push_back({field.name, Read(c + field.offset, field.size)});
      s.stackPointer = Read(c + 196, 4);
    } else {
      for (const RegisterField& field : kX64Registers) s.registers.push_back({field.name, Read(c + field.offset, field.size)});
      s.stackPointer = Read(c + 152, 8);
    }
    s.hasStackPointer = true;
  }
  if (const std::uint8_t* t = payload[2]) {
    ThreadInfo info{};
    info.exceptionList = Read(t, ptr);
    info.stackBase = Read(t + ptr, ptr);
    info.stackLimit = Read(t + 2 * ptr, ptr);
    info.self = Read(t + 6 * ptr, ptr);
    info.processId = Read(t + 8 * ptr, ptr);
    info.threadId = Read(t + 9 * ptr, ptr);
    info.peb = Read(t + 12 * ptr, ptr);
    s.thread = info;
  }
  if (const std::uint8_t* k = payload[3]) {
    StackInfo stack{};
    stack.bytes = k;
    stack.length = s.records.back().length;
    if (s.thread && s.thread->stackBase >= stack.length) {
      stack.addressesKnown = true;
      stack.end = s.thread->stackBase;
      stack.start = stack.end - stack.length;
    }
    s.stack = stack;
  }
  return {std::move(s), {}};
}

namespace {

std::string Hex(std::uint64_t v, Arch arch) {
  return arch == Arch::kX86 ? Format("0x%08llX", static_cast<unsigned long long>(v))
                            : Format("0x%016llX", static_cast<unsigned long long>(v));
}

std::string Hex32(std::uint32_t v) { return Format("0x%08X", v); }

// The part of the stack the dumps show: from the stack pointer when it
// lies in the saved bytes, else from the lowest saved byte.
struct DumpWindow {
  std::size_t from, count;
  bool atStackPointer;
};

DumpWindow Window(const Snapshot& s) {
  const StackInfo& k = *s.stack;
  DumpWindow w{0, 0, false};
  if (k.addressesKnown && s.hasStackPointer && s.stackPointer >= k.start && s.stackPointer < k.end) {
    w.from = static_cast<std::size_t>(s.stackPointer - k.start);
    w.atStackPointer = true;
  }
  w.count = k.length - w.from < kStackDumpBytes ? k.length - w.from : kStackDumpBytes;
  return w;
}

std::string AccessDetail(const ExceptionInfo& e, Arch arch) {
  if ((e.code != 0xC0000005 && e.code != 0xC0000006) || e.parameters.size() < 2) return "";
  const char* kind = e.parameters[0] == 0 ? "reading" : e.parameters[0] == 1 ? "writing"
                     : e.parameters[0] == 8 ? "executing" : "accessing";
  return std::string(kind) + " " + Hex(e.parameters[1], arch);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      out += Format("\\u%04x", c);
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

}  // namespace

std::string FormatText(const Snapshot& s) {
  const Arch a = s.arch;
  std::string out = std::string("Quillvex snapshot, ") + (a == Arch::kX86 ? "32-bit (x86)" : "64-bit (x64)") + " layout\n";
  out += "records:\n";
  if (s.records.empty()) out += "  none (the header alone)\n";
  for (const Record& r : s.records) {
    out += Format("  0x%04X %-16s %6zu bytes at offset %zu\n", r.tag, TagName(r.tag), r.length, r.offset);
  }
  if (s.exception) {
    const ExceptionInfo& e = *s.exception;
    const char* name = ExceptionName(e.code);
    out += "exception:\n";
    out += "  code    " + Hex32(e.code) + (name ? std::string(" ") + name : "") + "\n";
    out += "  flags   " + Hex32(e.flags) + ((e.flags & 1) ? " (noncontinuable)" : "") + "\n";
    out += "  address " + Hex(e.address, a) + "\n";
    const std::string detail = AccessDetail(e, a);
    if (!detail.empty()) out += "  access  " + detail + "\n";
    out += Format("  parameters %u", e.numberParameters);
    for (std::uint64_t p : e.parameters) out += " " + Hex(p, a);
    out += "\n";
  }
  if (!s.registers.empty()) {
    out += std::string("registers (") + (a == Arch::kX86 ? "x86" : "x64") + "):\n";
    int column = 0;
    for (const Register& r : s.registers) {
      out += Format("  %-6s ", r.name) + Hex(r.value, a);
      if (++column % 4 == 0) out += "\n";
    }
    if (column % 4 != 0) out += "\n";
  }
  if (s.thread) {
    const ThreadInfo& t = *s.thread;
    out += "thread:\n";
    out += "  stack base  " + Hex(t.stackBase, a) + "\n";
    out += "  stack limit " + Hex(t.stackLimit, a) + "\n";
    out += Format("  thread id   %llu\n  process id  %llu\n", static_cast<unsigned long long>(t.threadId),
                  static_cast<unsigned long long>(t.processId));
    out += "  TEB         " + Hex(t.self, a) + "\n  PEB         " + Hex(t.peb, a) + "\n";
  }
  if (s.stack) {
    const StackInfo& k = *s.stack;
    const DumpWindow w = Window(s);
    const std::size_t from = w.from;
    const std::size_t count = w.count;
    if (k.addressesKnown) {
      out += "stack: " + Hex(k.start, a) + " to " + Hex(k.end, a) + Format(" (%zu bytes)\n", k.length);
    } else {
      out += Format("stack: %zu bytes at unknown addresses (no thread block)\n", k.length);
    }
    out += Format("  top %zu bytes%s:\n", count, w.atStackPointer ? " from the stack pointer" : " of the saved area");
    for (std::size_t line = 0; line < count; line += 16) {
      const std::size_t offset = from + line;
      out += "  " + (k.addressesKnown ? Hex(k.start + offset, a) : Format("+%05zx", offset)) + " ";
      std::string ascii;
      for (std::size_t i = 0; i < 16; ++i) {
        if (line + i < count) {
          const std::uint8_t b = k.bytes[offset + i];
          out += Format(" %02x", b);
          ascii += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
        } else {
          out += "   ";
        }
      }
      out += "  " + ascii + "\n";
    }
  }
  return out;
}

std::string FormatJson(const Snapshot& s) {
  const Arch a = s.arch;
  auto hex = [&](std::uint64_t v) { return JsonString(Hex(v, a)); };
  std::string out = "{\n";
  out += std::string("  \"layout\": \"") + (a == Arch::kX86 ? "x86" : "x64") + "\",\n";
  out += "  \"records\": [";
  for (std::size_t i = 0; i < s.records.size(); ++i) {
    const Record& r = s.records[i];
    out += Format("%s{\"tag\": \"0x%04X\", \"kind\": \"%s\", \"offset\": %zu, \"length\": %zu}",
                  i ? ", " : "", r.tag, TagName(r.tag), r.offset, r.length);
  }
  out += "]";
  if (s.exception) {
    const ExceptionInfo& e = *s.exception;
    const char* name = ExceptionName(e.code);
    out += ",\n  \"exception\": {\"code\": " + JsonString(Hex32(e.code)) +
           ", \"name\": " + (name ? JsonString(name) : "null") +
           ", \"flags\": " + JsonString(Hex32(e.flags)) + ", \"address\": " + hex(e.address) +
           Format(", \"numberParameters\": %u, \"parameters\": [", e.numberParameters);
    for (std::size_t i = 0; i < e.parameters.size(); ++i) out += (i ? ", " : "") + hex(e.parameters[i]);
    out += "]}";
  }
  if (!s.registers.empty()) {
    out += ",\n  \"registers\": {";
    for (std::size_t i = 0; i < s.registers.size(); ++i) {
      out += std::string(i ? ", " : "") + "\"" + s.registers[i].name + "\": " + hex(s.registers[i].value);
    }
    out += "}";
  }
  if (s.thread) {
    const ThreadInfo& t = *s.thread;
    out += ",\n  \"thread\": {\"stackBase\": " + hex(t.stackBase) + ", \"stackLimit\": " + hex(t.stackLimit) +
           Format(", \"threadId\": %llu, \"processId\": %llu", static_cast<unsigned long long>(t.threadId),
                  static_cast<unsigned long long>(t.processId)) +
           ", \"teb\": " + hex(t.self) + ", \"peb\": " + hex(t.peb) + "}";
  }
  if (s.stack) {
    const StackInfo& k = *s.stack;
    const DumpWindow w = Window(s);
    const std::size_t from = w.from;
    const std::size_t count = w.count;
    out += ",\n  \"stack\": {";
    if (k.addressesKnown) out += "\"start\": " + hex(k.start) + ", \"end\": " + hex(k.end) + ", ";
    out += Format("\"length\": %zu, \"dumpOffset\": %zu, \"dump\": \"", k.length, from);
    for (std::size_t i = 0; i < count; ++i) out += Format("%02x", k.bytes[from + i]);
    out += "\"}";
  }
  out += "\n}\n";
  return out;
}

}  // namespace qvd
