// How the guard works.
//
// The compiler has no structured exception syntax, so the guard builds the
// two halves of one by hand:
//
// Catching. The routine is called from a frame that carries a frame-based
// exception handler, exactly where a compiler would put the handler of a
// guarded block. The platform searches frame handlers from the innermost
// frame outward, so exceptions that the user's routine handles itself never
// reach us, and every exception it leaves unhandled does, whatever its code.
//   - 64-bit: handlers come from the unwind data of a function, so the frame
//     is a small assembly function, GuardedInvoke, whose unwind data names
//     FaultGuardHandler as its exception handler.
//   - 32-bit: handlers are a chain of records on the stack, headed by the
//     thread information block at fs:[0]; GuardedInvoke links a record into
//     that chain around the call and unlinks it afterwards.
//
// Recovering. CallDumpRoutineGuarded saves a resume point with
// __builtin_setjmp before the call. The handler, running on the faulting
// thread, notes the exception code and jumps there with __builtin_longjmp,
// which restores the stack and frame pointers of CallDumpRoutineGuarded; the
// compiler itself reloads the registers it needs at the resume point. The
// routine's own frames, and the platform's dispatch frames below them, are
// simply abandoned, as a guarded block abandons them, so no termination
// handler of the user's routine runs. The jump does not depend on the user's
// unwind data, nor on the faulting context's stack pointer being sane. After
// the jump the head of the thread's exception record chain (fs:[0] in the
// 32-bit build) may still name records of the abandoned frames: our own
// record in the 32-bit build, and in both builds the records the platform's
// dispatcher links there while it calls a handler (Wine's 64-bit dispatcher
// does, and then runs into the stale record at the next exception). So the
// head is set back to what it was before the call.
//
// The resume point lives in the caller's frame and each call has its own, so
// guards nest and may be used on several threads at once. After a jump the
// thread is in the state it was in before the call, ready for the next one.
// Two limits: a stack overflow inside the routine is caught once, but the
// thread's stack guard page is not re-armed; and the jump does not adjust a
// hardware shadow stack, which the platform only enforces for images marked
// as compatible with it (ours are not).
#include "console/dumpwriter/fault_guard.h"

#include <intrin.h>

namespace {

struct GuardFrame {
#if defined(__i386__)
    // First member: the platform passes its address to the handler as the
    // establisher frame.
    EXCEPTION_REGISTRATION_RECORD registration;
#endif
    void* resume[5];
    volatile DWORD exceptionCode;
};

// The head of the thread's exception record chain: the first member of the
// thread information block, at fs:[0] (32-bit) or gs:[0] (64-bit).
void* ReadChainHead() {
    void* head;
#if defined(__x86_64__)
    asm volatile("movq %%gs:0, %0" : "=r"(head));
#else
    asm volatile("movl %%fs:0, %0" : "=r"(head));
#endif
    return head;
}

void WriteChainHead(void* head) {
#if defined(__x86_64__)
    asm volatile("movq %0, %%gs:0" : : "r"(head) : "memory");
#else
    asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
#endif
}

}  // namespace

extern "C" {

BOOL GuardedInvoke(MINIDUMP_CALLBACK_ROUTINE routine, PMINIDUMP_CALLBACK_INPUT input,
                   PMINIDUMP_CALLBACK_OUTPUT output, GuardFrame* frame);

__attribute__((used)) EXCEPTION_DISPOSITION NTAPI FaultGuardHandler(EXCEPTION_RECORD* record,
                                                                    void* establisherFrame,
                                                                    CONTEXT*, void*) {
    if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0) {
        return ExceptionContinueSearch;
    }
#if defined(__x86_64__)
    // GuardedInvoke keeps the frame pointer 32 bytes above its stack pointer,
    // which is the establisher frame of a function without a frame register.
    GuardFrame* frame = *reinterpret_cast<GuardFrame**>(static_cast<char*>(establisherFrame) + 32);
#else
    GuardFrame* frame = static_cast<GuardFrame*>(establisherFrame);
#endif
    frame->exceptionCode = record->ExceptionCode;
    __builtin_longjmp(frame->resume, 1);
}

}  // extern "C"

#if defined(__x86_64__)
// GuardedInvoke(routine, input, output, frame): rcx, rdx, r8, r9. Calls
// routine(nullptr, input, output) with the frame pointer parked at
// [rsp+32], above the callee's 32-byte home area. The nop keeps the return
// address inside the function's range, so a fault in the routine unwinds into
// this frame and finds its handler.
asm(R"(
    .text
    .p2align 4
    .globl GuardedInvoke
    .def GuardedInvoke; .scl 2; .type 32; .endef
    .seh_proc GuardedInvoke
GuardedInvoke:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_endprologue
    movq %r9, 32(%rsp)
    movq %rcx, %rax
    xorl %ecx, %ecx
    callq *%rax
    nop
    addq $40, %rsp
    ret
    .seh_handler FaultGuardHandler, @except
    .seh_endproc
)");
#else
extern "C" __attribute__((noinline)) BOOL GuardedInvoke(MINIDUMP_CALLBACK_ROUTINE routine,
                                                        PMINIDUMP_CALLBACK_INPUT input,
                                                        PMINIDUMP_CALLBACK_OUTPUT output,
                                                        GuardFrame* frame) {
    frame->registration.Next = reinterpret_cast<EXCEPTION_REGISTRATION_RECORD*>(__readfsdword(0));
    frame->registration.Handler = FaultGuardHandler;
    __writefsdword(0, reinterpret_cast<DWORD>(&frame->registration));
    BOOL result = routine(nullptr, input, output);
    __writefsdword(0, reinterpret_cast<DWORD>(frame->registration.Next));
    return result;
}
#endif

__attribute__((noinline)) GuardedCallOutcome CallDumpRoutineGuarded(
    MINIDUMP_CALLBACK_ROUTINE routine, PMINIDUMP_CALLBACK_INPUT input,
    PMINIDUMP_CALLBACK_OUTPUT output) {
    GuardFrame frame = {};
    void* chainHead = ReadChainHead();
    if (__builtin_setjmp(frame.resume) == 0) {
        BOOL result = GuardedInvoke(routine, input, output, &frame);
        return GuardedCallOutcome{false, 0, result};
    }
    WriteChainHead(chainHead);
    return GuardedCallOutcome{true, frame.exceptionCode, FALSE};
}
