#pragma once
// Calls a function through a raw pointer the way the installer engine calls
// an export, and measures what the callee did to the stack pointer.

#include <cstdint>

namespace tarvish_test {

struct MeasuredCall {
  std::uintptr_t result;  // EAX / RAX after the call
  std::intptr_t removed;  // bytes the callee took off the stack
};

// Pushes args[count-1] .. args[0] (32-bit: last argument first, as stdcall
// and cdecl callers do) or loads them into RCX, RDX, R8, R9 with the
// 32-byte shadow space (64-bit), then calls fn. `removed` is the stack
// pointer after the return minus the stack pointer just before the call
// instruction: a 32-bit stdcall function of n arguments removes 4*n bytes, a
// cdecl one 0; a 64-bit function always 0. The caller's stack is restored
// whatever the callee did, so a mismatch is reported, not suffered.
// Preconditions: count <= 4, and fn takes that many pointer-sized arguments
// (an unbalanced callee is measured, but one that writes past its arguments
// or leaves callee-saved registers changed is not survived).
MeasuredCall CallMeasured(const void* fn, const std::uintptr_t* args, unsigned count);

}  // namespace tarvish_test
