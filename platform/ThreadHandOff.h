#pragma once

// Qt's event queue hands a capture thread's results to the main thread under
// locks of its own, which ThreadSanitizer cannot see (Qt is not built with
// it). A sender marks the hand-off before it posts to a receiver, and the
// receiver marks the receipt when the event arrives, so that the tool knows
// the order the queue guarantees. In other builds both do nothing.
#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_release(void* address);
extern "C" void __tsan_acquire(void* address);
inline void markHandOff(const void* receiver) {
    __tsan_release(const_cast<void*>(receiver));
}
inline void markReceipt(const void* receiver) {
    __tsan_acquire(const_cast<void*>(receiver));
}
#else
inline void markHandOff(const void*) {}
inline void markReceipt(const void*) {}
#endif
