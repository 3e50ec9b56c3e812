# WebAssembly: Debian's emscripten, whose own toolchain file sets the compilers and Node.js as
# the emulator.
find_path(VELMORA_EMSCRIPTEN_ROOT cmake/Modules/Platform/Emscripten.cmake
  PATHS $ENV{EMSCRIPTEN} /usr/share/emscripten NO_DEFAULT_PATH REQUIRED)
include(${VELMORA_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)
# Its link step runs its JavaScript optimizer, which finds Debian's acorn through NODE_PATH.
set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
