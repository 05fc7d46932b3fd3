#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace quillet {

// What kind of failure a Status reports, for callers that act differently on each (a window that
// shows one message for a wrong password and another for a damaged file; a command's exit status).
enum class ErrorKind {
    kNotFound,      // a file, key, identity or entry that is not there
    kAccessDenied,  // refused: permissions, a read-only source, a wrong password
    kInUse,         // something else holds it: a running Wine, another run's lock
    kCorrupt,       // the data is there but damaged or not of the expected format
    kIo,            // reading or writing failed (a device error); the default
    kDiskFull,      // writing failed for want of room on the disk (or of the user's quota)
    kCancelled,     // the user or the caller stopped it
    kBadInput,      // what was asked is not valid (a malformed argument, nothing selected)
};

// The outcome of one of our own operations: success, or failure with a reason a user can read
// and its kind. Documented routines keep their documented results; this type is for the
// interfaces we add.
class [[nodiscard]] Status {
  public:
    static Status Ok() { return Status(); }
    static Status Error(std::string reason, ErrorKind kind = ErrorKind::kIo) {
        return Status(std::move(reason), kind);
    }

    bool ok() const { return m_failed == false; }
    explicit operator bool() const { return ok(); }
    const std::string& reason() const { return m_reason; }
    // The kind of a failure; meaningless on success (use is() to ask both at once).
    ErrorKind kind() const { return m_kind; }
    // Whether this is a failure of that kind.
    bool is(ErrorKind kind) const { return m_failed && m_kind == kind; }

  private:
    Status() = default;
    Status(std::string reason, ErrorKind kind)
        : m_failed(true), m_kind(kind), m_reason(std::move(reason)) {}

    bool m_failed = false;
    ErrorKind m_kind = ErrorKind::kIo;
    std::string m_reason;
};

}  // namespace quillet

namespace quillet {

// A value, or the failure that left none.
//
// Reading the value of a failed result (value(), * or ->) is a programming error: it ends the
// process with a message on stderr, in every build, instead of handing out a made-up value.
// Building a result from a successful Status (a value that was never given) is the same error.
template <typename T>
class [[nodiscard]] Result {
  public:
    Result(T value) : m_value(std::move(value)), m_status(Status::Ok()) {}
    Result(Status failure) : m_status(std::move(failure)) {
        if (m_status.ok()) Abort("a Result was made from a success without a value");
    }
    // The outcome of a call whose value converts to T (a pointer to a derived class, say).
    template <class U>
    requires(!std::is_same_v<U, T> && std::is_convertible_v<U, T>) Result(Result<U>&& other)
        : m_status(other.status()) {
        if (other.ok()) m_value.emplace(std::move(other.value()));
    }

    bool ok() const { return m_status.ok(); }
    explicit operator bool() const { return ok(); }
    const Status& status() const { return m_status; }
    const std::string& reason() const { return m_status.reason(); }
    T& value() { return checked(); }
    const T& value() const { return const_cast<Result*>(this)->checked(); }
    T* operator->() { return &checked(); }
    const T* operator->() const { return &value(); }
    T& operator*() { return checked(); }
    const T& operator*() const { return value(); }

  private:
    T& checked() {
        if (!m_value) Abort(("the value of a failed Result was read: " + reason()).c_str());
        return *m_value;
    }
    [[noreturn]] static void Abort(const char* what) {
        std::fprintf(stderr, "quillet: internal error: %s\n", what);
        std::abort();
    }

    std::optional<T> m_value;
    Status m_status;
};

}  // namespace quillet
