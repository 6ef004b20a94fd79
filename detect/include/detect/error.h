// The error value shared by every subsystem: a chain of context messages, outermost first, of
// which only the outermost is ever shown. Libraries return `Result<T>` instead of throwing; the
// Python module is the only place where failures become exceptions.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace detect {

class Error {
 public:
  explicit Error(std::string message) { chain_.push_back(std::move(message)); }

  // Wraps this error under a new outermost message; the old messages stay as causes.
  [[nodiscard]] Error context(std::string message) && {
    chain_.insert(chain_.begin(), std::move(message));
    return std::move(*this);
  }

  // The only text an error shows.
  [[nodiscard]] const std::string& message() const { return chain_.front(); }
  // Outermost first; kept for tests and debugging, never shown to users.
  [[nodiscard]] const std::vector<std::string>& chain() const { return chain_; }

 private:
  std::vector<std::string> chain_;
};

// A value or an error. Small on purpose: construct from either, test with ok(), then take one.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

  [[nodiscard]] bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<0>(state_); }
  const T& value() const& { assert(ok()); return std::get<0>(state_); }
  T&& value() && { assert(ok()); return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }

  const Error& error() const& { assert(!ok()); return std::get<1>(state_); }
  Error&& error() && { assert(!ok()); return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, Error> state_;
};

// For operations that succeed with nothing to return.
struct Unit {};
using Status = Result<Unit>;
inline Status ok_status() { return Unit{}; }

}  // namespace detect
