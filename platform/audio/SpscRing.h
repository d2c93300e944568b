#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <span>

namespace audio {

// Lock-free ring of frames between exactly one producer thread and one
// consumer thread. Memory is allocated once, at construction, and left
// untouched until frames are written (an idle deck costs no resident memory;
// only committed frames are ever read). Each side asks
// for the (at most two) contiguous spans it may touch, then commits what it
// used; the commit publishes the frames with release ordering.
template <typename T> class SpscRing {
public:
    explicit SpscRing(std::size_t capacityPow2)
        : capacity_(capacityPow2)
        , mask_(capacityPow2 - 1)
        , items_(std::make_unique_for_overwrite<T[]>(capacityPow2)) {}

    std::size_t capacity() const { return capacity_; }
    std::size_t readable() const {
        return written_.load(std::memory_order_acquire) - read_.load(std::memory_order_relaxed);
    }
    std::size_t writable() const {
        return capacity_ -
               (written_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
    }

    // Producer: the first contiguous free span (call again after committing
    // to get the part that wraps around).
    std::span<T> writeSpan() {
        const std::size_t w = written_.load(std::memory_order_relaxed);
        const std::size_t start = w & mask_;
        const std::size_t free = writable();
        return {items_.get() + start, std::min(free, capacity_ - start)};
    }
    void commitWrite(std::size_t n) { written_.fetch_add(n, std::memory_order_release); }

    // Consumer: the first contiguous readable span.
    std::span<const T> readSpan() const {
        const std::size_t r = read_.load(std::memory_order_relaxed);
        const std::size_t start = r & mask_;
        const std::size_t ready = readable();
        return {items_.get() + start, std::min(ready, capacity_ - start)};
    }
    void commitRead(std::size_t n) { read_.fetch_add(n, std::memory_order_release); }

    // Producer: copies up to n items in (both spans); returns how many fit.
    std::size_t push(const T* in, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const auto span = writeSpan();
            const std::size_t chunk = std::min(span.size(), n - done);
            if (chunk == 0)
                break;
            std::copy_n(in + done, chunk, span.data());
            commitWrite(chunk);
            done += chunk;
        }
        return done;
    }
    // Consumer: copies up to n items out; returns how many there were.
    std::size_t pop(T* out, std::size_t n) {
        std::size_t done = 0;
        while (done < n) {
            const auto span = readSpan();
            const std::size_t chunk = std::min(span.size(), n - done);
            if (chunk == 0)
                break;
            std::copy_n(span.data(), chunk, out + done);
            commitRead(chunk);
            done += chunk;
        }
        return done;
    }

    // Empties the ring. Only while neither side is running.
    void reset() {
        written_.store(0, std::memory_order_relaxed);
        read_.store(0, std::memory_order_relaxed);
    }

private:
    const std::size_t capacity_;
    const std::size_t mask_;
    std::unique_ptr<T[]> items_;
    std::atomic<std::size_t> written_{0};
    std::atomic<std::size_t> read_{0};
};

} // namespace audio
