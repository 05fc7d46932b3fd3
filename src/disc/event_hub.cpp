#include "disc/event_hub.h"

#include <algorithm>

namespace quillet::disc {

std::shared_ptr<EventHub> EventHub::Create() { return std::shared_ptr<EventHub>(new EventHub()); }

void EventHub::addListener(DiscEventListener* listener) {
    if (listener != nullptr && !isListening(listener)) m_listeners.push_back(listener);
}

void EventHub::removeListener(DiscEventListener* listener) { std::erase(m_listeners, listener); }

bool EventHub::isListening(DiscEventListener* listener) const {
    return std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
}

void EventHub::raise(const std::function<void(DiscEventListener&)>& event) {
    // A copy, so that a listener may add or remove listeners while it handles the event.
    const std::vector<DiscEventListener*> listeners = m_listeners;
    for (DiscEventListener* listener : listeners) {
        if (isListening(listener)) event(*listener);
    }
}

bool EventHub::raiseAny(const std::function<bool(DiscEventListener&)>& event) {
    bool any = false;
    raise([&](DiscEventListener& listener) { any = event(listener) || any; });
    return any;
}

bool EventHub::raiseAll(const std::function<bool(DiscEventListener&)>& event) {
    bool all = true;
    raise([&](DiscEventListener& listener) { all = event(listener) && all; });
    return all;
}

void EventHub::post(Task task) {
    std::weak_ptr<EventHub> weak = weak_from_this();
    auto run = [weak, task = std::move(task)] {
        std::shared_ptr<EventHub> hub = weak.lock();
        if (hub && !hub->m_closed) task(*hub);
    };
    EventPoster poster;
    {
        std::lock_guard lock(m_mutex);
        if (m_closed) return;
        if (!m_poster) {
            m_queue.push_back(std::move(run));
            m_queued.notify_all();
            return;
        }
        poster = m_poster;
    }
    poster(std::move(run));
}

void EventHub::setPoster(EventPoster poster) {
    std::deque<std::function<void()>> waiting;
    {
        std::lock_guard lock(m_mutex);
        m_poster = std::move(poster);
        if (m_poster) waiting.swap(m_queue);
    }
    // Tasks queued before the poster came go the same way, in their order.
    for (auto& task : waiting) m_poster(std::move(task));
}

void EventHub::close() {
    m_closed = true;
    m_listeners.clear();
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

bool EventHub::runOne() {
    std::function<void()> task;
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty()) return false;
        task = std::move(m_queue.front());
        m_queue.pop_front();
    }
    task();
    return true;
}

int EventHub::pump(std::chrono::milliseconds wait) {
    if (wait.count() > 0) {
        std::unique_lock lock(m_mutex);
        m_queued.wait_for(lock, wait, [this] { return !m_queue.empty(); });
    }
    // The hub may lose its engine inside a task; keep it alive until the loop ends.
    std::shared_ptr<EventHub> self = shared_from_this();
    int ran = 0;
    while (runOne()) ++ran;
    return ran;
}

}  // namespace quillet::disc
