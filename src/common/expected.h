#pragma once

// What an operation that can fail gives back: its value, or why it could not be done, in words
// fit for a report ("it is a FIFO, not an Access database"). The one way the code says "why
// not"; std::expected is C++23.

#include <cassert>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace lexivane::common {

struct Error {
    std::string why;
    int errorNumber = 0; // the errno behind it, 0 when there is none
};

// The system's words for an errno.
inline Error fromErrno(int e) {
    return {std::strerror(e), e};
}

template <class T = void> class [[nodiscard]] Expected {
  public:
    Expected(T value) : v_(std::in_place_index<0>, std::move(value)) {}
    Expected(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

    bool has_value() const { return v_.index() == 0; }
    explicit operator bool() const { return has_value(); }
    T& operator*() {
        assert(has_value());
        return std::get<0>(v_);
    }
    const T& operator*() const {
        assert(has_value());
        return std::get<0>(v_);
    }
    T* operator->() { return &**this; }
    const T* operator->() const { return &**this; }
    const Error& error() const {
        assert(!has_value());
        return std::get<1>(v_);
    }

  private:
    std::variant<T, Error> v_;
};

template <> class [[nodiscard]] Expected<void> {
  public:
    Expected() = default;
    Expected(Error error) : error_(std::move(error)) {}

    bool has_value() const { return !error_; }
    explicit operator bool() const { return has_value(); }
    const Error& error() const {
        assert(error_);
        return *error_;
    }

  private:
    std::optional<Error> error_;
};

} // namespace lexivane::common
