#include "tests/wine/stdcall_measured_call.h"

// The thunk is written in assembly because the measurement has to bracket
// the call instruction itself: compiled code is free to adjust the stack
// pointer around a call, and would also restore it for a callee that took
// the wrong number of bytes, hiding exactly the fault looked for. It keeps
// the stack pointer it started with in the frame pointer, so it returns
// safely to its caller even when the callee unbalanced the stack.
extern "C" std::uintptr_t tarvish_call_measured(const void* fn, const std::uintptr_t* args,
                                                unsigned count, std::intptr_t* removed)
    asm("tarvish_call_measured");

#if defined(__i386__)
asm(R"(
        .text
        .globl tarvish_call_measured
        .p2align 4
tarvish_call_measured:
        pushl %ebp
        movl  %esp, %ebp
        pushl %ebx
        pushl %esi
        pushl %edi
        movl  12(%ebp), %esi          # args
        movl  16(%ebp), %ecx          # count
1:      testl %ecx, %ecx
        jz    2f
        pushl -4(%esi,%ecx,4)         # last argument first
        decl  %ecx
        jmp   1b
2:      movl  %esp, %edi              # ESP just before the call
        call  *8(%ebp)
        movl  %esp, %ecx
        subl  %edi, %ecx
        movl  20(%ebp), %edx
        movl  %ecx, (%edx)            # *removed
        leal  -12(%ebp), %esp
        popl  %edi
        popl  %esi
        popl  %ebx
        popl  %ebp
        ret
)");
#elif defined(__x86_64__)
asm(R"(
        .text
        .globl tarvish_call_measured
        .p2align 4
tarvish_call_measured:
        pushq %rbp
        movq  %rsp, %rbp
        pushq %rbx
        pushq %rsi
        pushq %rdi
        pushq %r12                    # RSP is now 16-byte aligned
        movq  %rcx, %rax              # fn
        movq  %rdx, %rsi              # args
        movq  %r9, %r12               # removed
        movq  (%rsi), %rcx            # all four: unused ones are zero
        movq  8(%rsi), %rdx
        movq  16(%rsi), %r8
        movq  24(%rsi), %r9
        subq  $32, %rsp               # shadow space for the callee
        movq  %rsp, %rdi              # RSP just before the call
        call  *%rax
        movq  %rsp, %rcx
        subq  %rdi, %rcx
        movq  %rcx, (%r12)            # *removed
        leaq  -32(%rbp), %rsp
        popq  %r12
        popq  %rdi
        popq  %rsi
        popq  %rbx
        popq  %rbp
        ret
)");
#else
#error "the measured call is written for x86 and x86-64"
#endif

namespace tarvish_test {

MeasuredCall CallMeasured(const void* fn, const std::uintptr_t* args, unsigned count) {
  std::uintptr_t padded[4] = {};
  for (unsigned i = 0; i < count && i < 4; ++i) padded[i] = args[i];
  MeasuredCall call{};
  call.result = tarvish_call_measured(fn, padded, count < 4 ? count : 4, &call.removed);
  return call;
}

}  // namespace tarvish_test
