# uchardet 0.0.7 for the WebAssembly build: the sources of Debian's package, unpacked by
# scripts/fetch-uchardet.sh, built by their own CMake with this build's toolchain and linked in
# as the target uchardet.
include(ExternalProject)
set(VELMORA_UCHARDET_SOURCE_DIR "${CMAKE_SOURCE_DIR}/build/uchardet/uchardet-0.0.7" CACHE PATH
    "The sources of uchardet 0.0.7")
if(NOT EXISTS "${VELMORA_UCHARDET_SOURCE_DIR}/src/uchardet.h")
  message(FATAL_ERROR "uchardet's sources are not in ${VELMORA_UCHARDET_SOURCE_DIR}: "
                      "run scripts/fetch-uchardet.sh (scripts/install-deps.sh runs it)")
endif()
set(uchardet_binary_dir ${CMAKE_BINARY_DIR}/uchardet)
ExternalProject_Add(uchardet_build
  SOURCE_DIR ${VELMORA_UCHARDET_SOURCE_DIR}
  BINARY_DIR ${uchardet_binary_dir}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=OFF
    -DBUILD_BINARY=OFF
    -DTARGET_ARCHITECTURE=wasm32
    -Wno-dev
  # The library alone: its test program and manual page are not wanted here.
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target libuchardet
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${uchardet_binary_dir}/src/libuchardet.a
  USES_TERMINAL_BUILD OFF)
add_library(uchardet STATIC IMPORTED GLOBAL)
set_target_properties(uchardet PROPERTIES
  IMPORTED_LOCATION ${uchardet_binary_dir}/src/libuchardet.a
  INTERFACE_INCLUDE_DIRECTORIES ${VELMORA_UCHARDET_SOURCE_DIR}/src)
add_dependencies(uchardet uchardet_build)
