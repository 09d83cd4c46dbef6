// Runs a call into a foreign library so that a crash inside it (a bad
// pointer, a bus error, a division by zero, an illegal instruction) comes
// back as a failure instead of ending the program. The handlers are set on
// the process only for the length of the call and the calling thread jumps
// back out; the library's state afterwards is whatever the fault left.
#pragma once

// False when the call raised SIGSEGV, SIGBUS, SIGFPE or SIGILL.
bool RunGuarded(void (*call)(void* context), void* context);
