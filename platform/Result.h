#pragma once

#include <cerrno>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

// How a step that touches the system fails, everywhere inside the app: it
// returns a Result, the value or a Failure. What a page or a user is finally
// told (a flag, a message, an alert) is made from the Failure at the edge.

namespace platform {

// The system's own description of an error number (errno), in the user's
// language, as failure alerts and messages show it. Defined by the backend.
std::string describeError(int errorNumber);

// Why a step failed: the errno value and the words for it, and where it
// happened, so that a caller far from the step can still tell what failed.
struct Failure {
  int code = 0;
  // The system's description of the code, or the app's own words for a
  // step it refused itself.
  std::string detail;
  // What was being done ("open", "rename", ...) and to which path; empty
  // where the step that failed did not say.
  std::string step;
  std::filesystem::path path;

  Failure() = default;
  Failure(int errorNumber, std::string words) : code(errorNumber), detail(std::move(words)) {}

  static Failure of(int errorNumber) { return {errorNumber, describeError(errorNumber)}; }
  // The filesystem library reports errno values in either category.
  static Failure of(std::error_code error) { return of(error.value()); }
  static Failure of(std::errc error) { return of(static_cast<int>(error)); }
  // A step the app refuses itself: the code callers may branch on, and why
  // in the user's words.
  static Failure refused(std::errc error, std::string reason) {
    return {static_cast<int>(error), std::move(reason)};
  }

  // The same failure, told where it happened.
  Failure at(std::string_view doing, std::filesystem::path on) && {
    step = doing;
    path = std::move(on);
    return std::move(*this);
  }
};

// A value, or the Failure that stands in its place. Dropping one is a
// compile warning: a result ignored on purpose says so where it is dropped.
template <class T> class [[nodiscard]] Result {
public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  T& operator*() { return std::get<0>(state_); }
  const T& operator*() const { return std::get<0>(state_); }
  T* operator->() { return &std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  const Failure& failure() const { return std::get<1>(state_); }

private:
  std::variant<T, Failure> state_;
};

template <> class [[nodiscard]] Result<void> {
public:
  Result() = default;
  Result(Failure failure) : failure_(std::move(failure)) {}

  bool ok() const { return !failure_; }
  explicit operator bool() const { return ok(); }
  const Failure& failure() const { return *failure_; }

private:
  std::optional<Failure> failure_;
};

// What a POSIX call that returns -1 and sets errno on failure reported.
inline Result<void> posixResult(int returned) {
  if (returned == -1)
    return Failure::of(errno);
  return {};
}

// What a call of the filesystem library reported in its error code.
inline Result<void> filesystemResult(std::error_code error) {
  if (error)
    return Failure::of(error);
  return {};
}

} // namespace platform
