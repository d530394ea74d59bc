#pragma once
// The error location record and the module's way of raising a failure.
//
// A failure inside an export is raised by writing the record and then
// throwing the message text as a `const char*`. The record describes the
// last failure raised since the module was loaded: it is written just before
// each raise and never cleared. Nothing in the module reads it back; it is
// there for a debugger or a dump.
//
// Plain module-level data, written without a lock: call from one thread at a
// time, as the installer engine does.

#include <cstdint>

namespace tarvish {

// Both zero (null, 0) until the first failure is raised.
extern const char* ErrorFile;
extern std::int32_t ErrorLine;

// The source name every failure of this module records.
inline constexpr const char kErrorSourceName[] = "Tarvish";

// Writes the record ("Tarvish", `line`) and throws `message`, which must be
// constant text. Whatever export reaches this must catch the message before
// it returns: the engine cannot catch a C++ exception.
[[noreturn]] void RaiseFailure(std::int32_t line, const char* message);

}  // namespace tarvish
