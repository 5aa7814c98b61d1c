#pragma once

// The coroutine support of whichever standard library builds the program:
// the web build's library still keeps it under std::experimental.
#if __has_include(<coroutine>)
#include <coroutine>
namespace co = std;
#else
#include <experimental/coroutine>
namespace co = std::experimental;
#endif
