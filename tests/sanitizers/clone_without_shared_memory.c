// Preloaded into the ThreadSanitizer test runs only. Qt starts processes with
// clone(CLONE_VM | CLONE_VFORK): the child runs on the parent's memory and its
// calls before exec go through the sanitizer's interceptors as if the
// parent's thread had made them, which leaves the sanitizer's own bookkeeping
// of that thread wrong (reports of races under a lock both sides hold). The
// child gets a copy of the memory instead, as with fork.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <sys/types.h>

typedef int (*clone_fn)(int (*)(void*), void*, int, void*, ...);

int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    va_list ap;
    va_start(ap, arg);
    pid_t* parent_tid = va_arg(ap, pid_t*);
    void* tls = va_arg(ap, void*);
    pid_t* child_tid = va_arg(ap, pid_t*);
    va_end(ap);
    static clone_fn real;
    if (!real)
        real = (clone_fn)dlsym(RTLD_NEXT, "clone");
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK))
        flags &= ~CLONE_VM;
    return real(fn, stack, flags, arg, parent_tid, tls, child_tid);
}
