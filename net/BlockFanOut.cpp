#include "net/BlockFanOut.h"

#include "net/Socket.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace net {

void BlockFanOut::start(int slack, std::size_t maxBlockSize) {
    std::lock_guard lock(mutex_);
    slack_ = slack > 0 ? std::uint64_t(slack) : 0;
    const std::size_t n = slack > 0 ? std::size_t(slack + kLateBlocks) : 0;
    ring_.assign(n * maxBlockSize, 0);
    sizes_.assign(n, 0);
    slot_ = maxBlockSize;
    last_ = 0;
    sending_ = true;
}

void BlockFanOut::stop() {
    std::lock_guard lock(mutex_);
    for (Receiver* r : polled_)
        r->Polled = false;
    polled_.clear();
    sending_ = false;
    pollDone_.notify_all();
}

void BlockFanOut::add(Receiver& receiver, int fd) {
    std::lock_guard lock(mutex_);
    receiver = Receiver{};
    receiver.fd = fd;
    receiver.next = last_ + 1;
    receiver.ActiveAt = std::chrono::steady_clock::now();
    receivers_.push_back(&receiver);
}

void BlockFanOut::remove(Receiver& receiver, int finishMs) {
    std::unique_lock lock(mutex_);
    std::erase(receivers_, &receiver);
    while (receiver.Polled && sending_) {
        if (wake)
            wake();
        pollDone_.wait(lock);
    }
    // The slot may be overwritten as soon as the lock is released.
    std::vector<char> rest;
    if (!receiver.dropped && receiver.Sent > 0 && receiver.next <= last_) {
        const std::size_t at = std::size_t(receiver.next % sizes_.size());
        const char* block = ring_.data() + at * slot_;
        rest.assign(block + receiver.Sent, block + sizes_[at]);
    }
    receiver.dropped = true;
    lock.unlock();
    if (!rest.empty())
        sendAll(receiver.fd, rest.data(), rest.size(), finishMs);
}

void BlockFanOut::push(const void* data, std::size_t size) {
    if (size == 0)
        return;
    {
        std::lock_guard lock(mutex_);
        if (sizes_.empty())
            return;
        const std::uint64_t block = ++last_;
        const std::uint64_t slots = sizes_.size();
        for (std::size_t i = receivers_.size(); i-- > 0;) {
            const Receiver& r = *receivers_[i];
            // Behind with a full socket, or still needing the block this one
            // overwrites.
            if ((r.waiting && r.next + slack_ <= block) || r.next + slots <= block)
                drop(*receivers_[i]);
        }
        const std::size_t at = std::size_t(block % slots);
        sizes_[at] = std::min(size, slot_);
        std::memcpy(ring_.data() + at * slot_, data, sizes_[at]);
        if (receivers_.empty())
            return;
    }
    if (wake)
        wake();
}

void BlockFanOut::appendPollFds(std::vector<pollfd>& fds) {
    std::lock_guard lock(mutex_);
    polled_.clear();
    for (Receiver* r : receivers_) {
        if (!r->waiting)
            continue;
        r->Polled = true;
        polled_.push_back(r);
        fds.push_back({r->fd, POLLOUT, 0});
    }
}

void BlockFanOut::afterPoll(const pollfd* fds, std::size_t count) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < polled_.size() && i < count; ++i) {
        polled_[i]->Polled = false;
        if (fds[i].revents)
            polled_[i]->waiting = false;
    }
    polled_.clear();
    pollDone_.notify_all();
}

void BlockFanOut::sendPending() {
    std::lock_guard lock(mutex_);
    for (std::size_t i = receivers_.size(); i-- > 0;) {
        if (!receivers_[i]->waiting)
            sendTo(*receivers_[i]);
    }
}

void BlockFanOut::sendTo(Receiver& r) {
    const std::uint64_t slots = sizes_.size();
    while (r.next <= last_) {
        const std::size_t at = std::size_t(r.next % slots);
        const char* block = ring_.data() + at * slot_;
        const ssize_t n =
            ::send(r.fd, block + r.Sent, sizes_[at] - r.Sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            // It had taken all it was handed at the last look, and nothing
            // was handed since: its time to take these bytes starts now.
            if (r.Handed == r.Taken)
                r.ActiveAt = std::chrono::steady_clock::now();
            r.Handed += std::uint64_t(n);
            r.Sent += std::size_t(n);
            if (r.Sent == sizes_[at]) {
                ++r.next;
                r.Sent = 0;
            }
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            r.waiting = true;
            return;
        } else {
            drop(r); // closed or broken
            return;
        }
    }
}

bool BlockFanOut::look(Receiver& r, std::chrono::steady_clock::time_point now) {
    int queued = 0;
    if (::ioctl(r.fd, SIOCOUTQ, &queued) != 0 || queued < 0)
        return r.Handed > r.Taken; // nothing known: as at the last look
    const std::uint64_t taken = r.Handed - std::min(r.Handed, std::uint64_t(queued));
    if (taken > r.Taken) {
        r.Taken = taken;
        r.ActiveAt = now;
    }
    return queued > 0;
}

int BlockFanOut::dropIdle(int limitMs) {
    if (limitMs <= 0)
        return -1;
    using namespace std::chrono;
    std::lock_guard lock(mutex_);
    const auto now = steady_clock::now();
    int next = -1;
    for (std::size_t i = receivers_.size(); i-- > 0;) {
        Receiver& r = *receivers_[i];
        if (!look(r, now))
            continue;
        // Bytes wait: it is due limitMs after it was last active.
        const auto left = ceil<milliseconds>(r.ActiveAt + milliseconds(limitMs) - now).count();
        if (left <= 0)
            drop(r);
        else if (next < 0 || left < next)
            next = int(left);
    }
    return next;
}

bool BlockFanOut::dropIdlest() {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    Receiver* idlest = nullptr;
    for (Receiver* r : receivers_) {
        look(*r, now);
        // Ties go to the one listed first, the earliest joined.
        if (!idlest || r->ActiveAt < idlest->ActiveAt ||
            (r->ActiveAt == idlest->ActiveAt && r->Taken < idlest->Taken))
            idlest = r;
    }
    if (!idlest)
        return false;
    drop(*idlest);
    return true;
}

void BlockFanOut::drop(Receiver& r) {
    r.dropped = true;
    ::shutdown(r.fd, SHUT_RDWR); // wakes the connection's thread, which ends it
    std::erase(receivers_, &r);
}

} // namespace net
