#include "crash/crash_filter_guard.h"

#include <windows.h>

// tarvish_guarded_call(body, context) saves the registers its caller
// expects to survive, registers tarvish_guard_handler for its frame and
// calls body(context). It returns 0 when the body returns, and 1 when the
// handler has sent execution to tarvish_guard_recover, which resumes with
// the stack pointer at the guard's own frame and restores the saved
// registers from there.
extern "C" int tarvish_guarded_call(void (*body)(void*), void* context);
extern "C" void tarvish_guard_recover();

#if defined(__i386__)

extern "C" EXCEPTION_DISPOSITION __cdecl tarvish_guard_handler(EXCEPTION_RECORD* record,
                                                               void* frame, CONTEXT* context,
                                                               void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
    return ExceptionContinueSearch;
  }
  // `frame` is the registration record, at the bottom of the guard's frame.
  context->Esp = reinterpret_cast<DWORD>(frame);
  context->Eip = reinterpret_cast<DWORD>(&tarvish_guard_recover);
  return ExceptionContinueExecution;
}

asm(R"(
    .text
    .globl _tarvish_guarded_call
    .def _tarvish_guarded_call; .scl 2; .type 32; .endef
_tarvish_guarded_call:
    pushl %ebp
    movl %esp, %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl $_tarvish_guard_handler
    pushl %fs:0
    movl %esp, %fs:0
    pushl 12(%ebp)
    call *8(%ebp)
    addl $4, %esp
    xorl %eax, %eax
    jmp 1f
    .globl _tarvish_guard_recover
    .def _tarvish_guard_recover; .scl 2; .type 32; .endef
_tarvish_guard_recover:
    movl $1, %eax
1:
    # Unlink everything registered after us, then our own record.
    movl (%esp), %ecx
    movl %ecx, %fs:0
    addl $8, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
)");

#elif defined(__x86_64__)

extern "C" EXCEPTION_DISPOSITION tarvish_guard_handler(EXCEPTION_RECORD* record, void* frame,
                                                       CONTEXT* context, void*) {
  if ((record->ExceptionFlags & EXCEPTION_UNWIND) != 0) return ExceptionContinueSearch;
  // `frame` is the guard's stack pointer after its prologue.
  context->Rsp = reinterpret_cast<DWORD64>(frame);
  context->Rip = reinterpret_cast<DWORD64>(&tarvish_guard_recover);
  return ExceptionContinueExecution;
}

// Saves the non-volatile registers of the Windows x64 convention, rbp, rbx,
// rsi, rdi, r12-r15 and xmm6-xmm15, and keeps 32 bytes of home space.
asm(R"(
    .text
    .globl tarvish_guarded_call
    .def tarvish_guarded_call; .scl 2; .type 32; .endef
    .seh_proc tarvish_guarded_call
tarvish_guarded_call:
    .seh_handler tarvish_guard_handler, @except
    pushq %rbp
    .seh_pushreg %rbp
    pushq %rbx
    .seh_pushreg %rbx
    pushq %rsi
    .seh_pushreg %rsi
    pushq %rdi
    .seh_pushreg %rdi
    pushq %r12
    .seh_pushreg %r12
    pushq %r13
    .seh_pushreg %r13
    pushq %r14
    .seh_pushreg %r14
    pushq %r15
    .seh_pushreg %r15
    subq $200, %rsp
    .seh_stackalloc 200
    movaps %xmm6, 32(%rsp)
    .seh_savexmm %xmm6, 32
    movaps %xmm7, 48(%rsp)
    .seh_savexmm %xmm7, 48
    movaps %xmm8, 64(%rsp)
    .seh_savexmm %xmm8, 64
    movaps %xmm9, 80(%rsp)
    .seh_savexmm %xmm9, 80
    movaps %xmm10, 96(%rsp)
    .seh_savexmm %xmm10, 96
    movaps %xmm11, 112(%rsp)
    .seh_savexmm %xmm11, 112
    movaps %xmm12, 128(%rsp)
    .seh_savexmm %xmm12, 128
    movaps %xmm13, 144(%rsp)
    .seh_savexmm %xmm13, 144
    movaps %xmm14, 160(%rsp)
    .seh_savexmm %xmm14, 160
    movaps %xmm15, 176(%rsp)
    .seh_savexmm %xmm15, 176
    .seh_endprologue
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    xorl %eax, %eax
    jmp 1f
    .globl tarvish_guard_recover
tarvish_guard_recover:
    movl $1, %eax
1:
    movaps 32(%rsp), %xmm6
    movaps 48(%rsp), %xmm7
    movaps 64(%rsp), %xmm8
    movaps 80(%rsp), %xmm9
    movaps 96(%rsp), %xmm10
    movaps 112(%rsp), %xmm11
    movaps 128(%rsp), %xmm12
    movaps 144(%rsp), %xmm13
    movaps 160(%rsp), %xmm14
    movaps 176(%rsp), %xmm15
    addq $200, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rdi
    popq %rsi
    popq %rbx
    popq %rbp
    ret
    .seh_endproc
)");

#else
#error "the crash guard knows x86 and x64 only"
#endif

namespace tarvish {

bool RunGuarded(void (*body)(void*), void* context) {
  return tarvish_guarded_call(body, context) == 0;
}

}  // namespace tarvish
