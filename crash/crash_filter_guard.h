#pragma once
// A catch-all fault guard for the crash path: runs a function and, if a
// fault inside it is not handled further in, abandons the rest of it and
// returns. The compiler has no __try/__except, so the guard is a small
// assembly frame with its own structured-exception handler (an fs:[0]
// registration on x86, a language handler in the unwind tables on x64).
//
// Windows builds only. Faults that inner code handles itself (IsBadReadPtr
// probing memory, for example) never reach the guard. Nothing in `body`
// is unwound after a fault: no destructors run and no locks taken inside
// are released, so keep resources that must be released outside the guard.

namespace tarvish {

// False when a fault ended body(context) early.
bool RunGuarded(void (*body)(void*), void* context);

}  // namespace tarvish
