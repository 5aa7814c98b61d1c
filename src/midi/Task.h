#pragma once

#include <exception>
#include <optional>
#include <utility>

#include "midi/Coroutine.h"

// A piece of keyboard work written as a coroutine: it starts when awaited
// (or when a driver starts it), runs until it awaits something that has not
// happened yet, and hands its result or exception to whoever awaits it.
// Awaiting a finished task's caller resumes it directly, so a long job never
// grows the stack. A coroutine keeps its parameters for its whole run, but a
// reference parameter only refers: what it refers to must outlive the task,
// so strings and small structs are taken by value.
template <class T = void>
class Task;

namespace task_detail {

struct PromiseBase {
  co::coroutine_handle<> continuation;
  std::exception_ptr error;

  co::suspend_always initial_suspend() noexcept { return {}; }

  struct FinalAwaiter {
    bool await_ready() noexcept { return false; }
    template <class Promise>
    co::coroutine_handle<> await_suspend(co::coroutine_handle<Promise> done) noexcept {
      co::coroutine_handle<> next = done.promise().continuation;
      if (next) return next;
      return co::noop_coroutine();
    }
    void await_resume() noexcept {}
  };
  FinalAwaiter final_suspend() noexcept { return {}; }
  void unhandled_exception() noexcept { error = std::current_exception(); }
  void Rethrow() const {
    if (error) std::rethrow_exception(error);
  }
};

template <class T>
struct Promise : PromiseBase {
  std::optional<T> value;
  Task<T> get_return_object() noexcept;
  template <class U>
  void return_value(U&& result) {
    value.emplace(std::forward<U>(result));
  }
  T Take() {
    Rethrow();
    return std::move(*value);
  }
};

template <>
struct Promise<void> : PromiseBase {
  Task<void> get_return_object() noexcept;
  void return_void() noexcept {}
  void Take() const { Rethrow(); }
};

}  // namespace task_detail

template <class T>
class [[nodiscard]] Task {
 public:
  using promise_type = task_detail::Promise<T>;
  using Handle = co::coroutine_handle<promise_type>;

  Task() = default;
  explicit Task(Handle handle) noexcept : handle_(handle) {}
  Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Task& operator=(Task&& other) noexcept {
    if (this != &other) {
      Destroy();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;
  ~Task() { Destroy(); }

  bool Valid() const { return static_cast<bool>(handle_); }
  bool Done() const { return !handle_ || handle_.done(); }

  // For drivers: runs the task up to its first wait. A task started this way
  // is awaited by nobody; its driver asks Done() and takes Result().
  void Start() { handle_.resume(); }
  // The task's value once Done(); rethrows what ended it.
  T Result() { return handle_.promise().Take(); }

  bool await_ready() const noexcept { return false; }
  co::coroutine_handle<> await_suspend(co::coroutine_handle<> caller) noexcept {
    handle_.promise().continuation = caller;
    return handle_;
  }
  T await_resume() { return handle_.promise().Take(); }

 private:
  void Destroy() {
    if (handle_) handle_.destroy();
    handle_ = {};
  }

  Handle handle_;
};

namespace task_detail {

template <class T>
Task<T> Promise<T>::get_return_object() noexcept {
  return Task<T>(Task<T>::Handle::from_promise(*this));
}

inline Task<void> Promise<void>::get_return_object() noexcept {
  return Task<void>(Task<void>::Handle::from_promise(*this));
}

}  // namespace task_detail
