#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "platform/status.h"

namespace quillet::archive {

// Runs a reader on a thread of its own, ahead of the one consumer, so that reading (and whatever
// the reader does to its data, such as deciphering it) overlaps with the consumer's work. The
// reader fills buffers of `bufferSize` bytes, at most `buffers` of them ahead of the consumer:
// memory stays bounded whatever the length of the data.
//
// The reader is called on the read-ahead thread only, one call at a time, until it returns 0 (the
// end) or a failure; anything it uses must not be used by another thread meanwhile. start() and
// next() are for the consumer's thread. Destruction stops the thread (after the reader call under
// way, if any, returns) and waits for it.
class ReadAhead {
  public:
    // Fills the span it is given from its start, returning the number of bytes written: 0 at the
    // end of the data, or the reason reading failed.
    using Reader = std::function<Result<std::size_t>(std::span<std::byte>)>;

    ReadAhead(Reader reader, std::size_t bufferSize, std::size_t buffers);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Starts the thread. Call once. Fails when the thread cannot be started.
    Status start();

    // The next piece of data, in order; an empty piece at the end; or the reader's failure (again
    // on every later call). The piece stays valid until the next call to next().
    Result<std::span<const std::byte>> next();

    // Stops the thread and waits for it; afterwards the reader is no longer called.
    void stop();

  private:
    struct Slot {
        std::vector<std::byte> data;
        std::size_t size = 0;
        bool filled = false;
        Status outcome = Status::Ok();
    };

    void run();

    Reader m_reader;
    std::vector<Slot> m_slots;
    std::thread m_thread;

    std::mutex m_mutex;
    std::condition_variable m_filled;
    std::condition_variable m_emptied;
    std::size_t m_fillNext = 0;     // slot the reader fills next (counted from 0, not wrapped)
    std::size_t m_consumeNext = 0;  // slot the consumer takes next
    bool m_holding = false;         // the consumer holds slot m_consumeNext - 1
    bool m_stopping = false;
    bool m_ended = false;  // the consumer has seen the end or a failure
    Status m_failure = Status::Ok();
};

}  // namespace quillet::archive
