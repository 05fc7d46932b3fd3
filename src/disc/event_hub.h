#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "disc/disc_engine.h"

namespace quillet::disc {

// The listeners of one engine and the road of its events to the owner's thread. An engine keeps
// its hub in a shared_ptr; a task posted from another thread holds only a weak reference, so a
// task that arrives after the engine is gone does nothing.
class EventHub : public std::enable_shared_from_this<EventHub> {
  public:
    using Task = std::function<void(EventHub&)>;

    static std::shared_ptr<EventHub> Create();

    // Owner's thread.
    void addListener(DiscEventListener* listener);
    void removeListener(DiscEventListener* listener);
    // Calls `event` on every listener, in the order they were added, skipping one removed
    // meanwhile (also by an earlier listener of the same event).
    void raise(const std::function<void(DiscEventListener&)>& event);
    // The same for events that return a flag: whether any listener returned true.
    bool raiseAny(const std::function<bool(DiscEventListener&)>& event);
    // Whether every listener returned true (true without listeners).
    bool raiseAll(const std::function<bool(DiscEventListener&)>& event);

    // Any thread: runs `task` later on the owner's thread, through the poster when one is set,
    // otherwise from pump().
    void post(Task task);
    void setPoster(EventPoster poster);
    // Owner's thread, without a poster: waits up to `wait` for a task, then runs the queued tasks
    // (and those they post) until the queue is empty. Returns how many ran.
    int pump(std::chrono::milliseconds wait);
    // Runs the first queued task only; false when none is queued.
    bool runOne();

    // Whether a write or erase is running. The engine sets it when one starts; the delivery of
    // its end state clears it before the listeners hear of the end.
    bool busy() const { return m_busy; }
    void setBusy(bool busy) { m_busy = busy; }

    // The engine is going: forgets the listeners and the queued tasks, and drops every task
    // posted from now on, also those already handed to the poster.
    void close();

  private:
    EventHub() = default;
    bool isListening(DiscEventListener* listener) const;

    std::vector<DiscEventListener*> m_listeners;
    bool m_busy = false;
    std::atomic<bool> m_closed = false;

    std::mutex m_mutex;
    std::condition_variable m_queued;
    std::deque<std::function<void()>> m_queue;
    EventPoster m_poster;
};

}  // namespace quillet::disc
