# em++ (Debian's emscripten 3.1.6) for the web build. Its system libraries are
# prebuilt and its cache frozen, so no port is used: they would download.

# The core reports errors as exceptions; without this the first throw aborts.
# Native wasm exceptions (Node 17, Chrome 95, Firefox 100 and later), not the
# JavaScript emulation (-fexceptions) that routes every call that may throw
# through a JavaScript trampoline.
add_compile_options(-fwasm-exceptions)
add_link_options(-fwasm-exceptions -sALLOW_MEMORY_GROWTH=1)
# A finished task resumes its caller by symmetric transfer, which clang 14
# compiles to a guaranteed tail call: wasm tail calls (Node 20, Chrome 112,
# Firefox 121) keep a long job's stack flat, as natively.
add_compile_options(-mtail-call)
add_link_options(-mtail-call)
# Its libc++ still keeps the coroutines under std::experimental.
add_compile_options(-Wno-deprecated-experimental-coroutine)
# The tests run under node. emcmake names it with a flag for wasm threads
# that Node 20 refuses (it has them without); the core uses no threads.
find_program(RAVLIN_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${RAVLIN_NODE})
