#include "archive/read_ahead.h"

#include <algorithm>
#include <system_error>

namespace quillet::archive {

ReadAhead::ReadAhead(Reader reader, std::size_t bufferSize, std::size_t buffers)
    : m_reader(std::move(reader)), m_slots(std::max<std::size_t>(buffers, 2)) {
    for (Slot& slot : m_slots) slot.data.resize(std::max<std::size_t>(bufferSize, 1));
}

ReadAhead::~ReadAhead() { stop(); }

Status ReadAhead::start() {
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error& error) {
        return Status::Error(std::string("Cannot start the reading thread: ") + error.what());
    }
    return Status::Ok();
}

void ReadAhead::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_emptied.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void ReadAhead::run() {
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(m_mutex);
            // A slot is free once the consumer has moved past it; the one it holds is not.
            m_emptied.wait(lock, [&] {
                return m_stopping ||
                       m_fillNext < m_consumeNext - (m_holding ? 1 : 0) + m_slots.size();
            });
            if (m_stopping) return;
            slot = &m_slots[m_fillNext % m_slots.size()];
        }
        // The slot is this thread's alone until it is marked filled.
        Result<std::size_t> count = m_reader(slot->data);
        const bool last = !count.ok() || *count == 0;
        {
            std::lock_guard lock(m_mutex);
            slot->size = count.ok() ? std::min(*count, slot->data.size()) : 0;
            slot->outcome = count.ok() ? Status::Ok() : count.status();
            slot->filled = true;
            ++m_fillNext;
        }
        m_filled.notify_all();
        if (last) return;
    }
}

Result<std::span<const std::byte>> ReadAhead::next() {
    std::unique_lock lock(m_mutex);
    if (m_holding) {
        m_slots[(m_consumeNext - 1) % m_slots.size()].filled = false;
        m_holding = false;
        m_emptied.notify_all();
    }
    if (m_ended) {
        if (!m_failure) return m_failure;
        return std::span<const std::byte>();
    }
    Slot& slot = m_slots[m_consumeNext % m_slots.size()];
    m_filled.wait(lock, [&] { return slot.filled; });
    ++m_consumeNext;
    if (!slot.outcome) {
        m_ended = true;
        m_failure = slot.outcome;
        return m_failure;
    }
    if (slot.size == 0) {
        m_ended = true;
        return std::span<const std::byte>();
    }
    m_holding = true;
    return std::span<const std::byte>(slot.data.data(), slot.size);
}

}  // namespace quillet::archive
