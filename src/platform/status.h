#pragma once

#include <string>
#include <utility>

namespace quillet {

// The outcome of one of our own operations: success, or failure with a reason a user can read.
// Documented routines keep their documented results; this type is for the interfaces we add.
class [[nodiscard]] Status {
  public:
    static Status Ok() { return Status(); }
    static Status Error(std::string reason) { return Status(std::move(reason)); }

    bool ok() const { return m_failed == false; }
    explicit operator bool() const { return ok(); }
    const std::string& reason() const { return m_reason; }

  private:
    Status() = default;
    explicit Status(std::string reason) : m_failed(true), m_reason(std::move(reason)) {}

    bool m_failed = false;
    std::string m_reason;
};

}  // namespace quillet

namespace quillet {

// A value, or the reason there is none.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_value(std::move(value)), m_status(Status::Ok()) {}
    Result(Status failure) : m_status(std::move(failure)) {}

    bool ok() const { return m_status.ok(); }
    explicit operator bool() const { return ok(); }
    const Status& status() const { return m_status; }
    const std::string& reason() const { return m_status.reason(); }
    T& value() { return m_value; }
    const T& value() const { return m_value; }
    T* operator->() { return &m_value; }
    const T* operator->() const { return &m_value; }
    T& operator*() { return m_value; }
    const T& operator*() const { return m_value; }

  private:
    T m_value{};
    Status m_status;
};

}  // namespace quillet
