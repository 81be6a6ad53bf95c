# Cross-compiles for macOS with zig's clang, which carries macOS's system
# headers and libc++, so no Apple SDK is needed: the core and the module
# compile and link; nothing runs. BRELIM_ZIG names the zig program
# (`pip install ziglang` puts it in site-packages/ziglang/zig), and
# BRELIM_MACOS_ARCH the processor: x86_64 (the default) or aarch64.

# Read a second time as the platform rules' override (below). zig's linker
# crashes on -bundle, and Python loads a module linked as a dynamic library
# all the same. Its symbols are resolved when it is loaded (-undefined
# dynamic_lookup), so it is linked without the C++ runtime, which zig would
# first build from source: a check that the module links, not a module to ship.
if(DEFINED CMAKE_SHARED_MODULE_CREATE_CXX_FLAGS)
  string(REPLACE "-bundle" "-shared -nostdlib" CMAKE_SHARED_MODULE_CREATE_CXX_FLAGS
                 "${CMAKE_SHARED_MODULE_CREATE_CXX_FLAGS}")
  return()
endif()
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX "${CMAKE_CURRENT_LIST_FILE}")

set(CMAKE_SYSTEM_NAME Darwin)
if(NOT BRELIM_MACOS_ARCH)
  set(BRELIM_MACOS_ARCH x86_64)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${BRELIM_MACOS_ARCH})
# Every try_compile reads this file again and sees only the variables listed.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES BRELIM_ZIG BRELIM_MACOS_ARCH)

# The oldest macOS the wheels serve (pyproject.toml): 10.15, and 11.0, the
# first on arm64.
if(BRELIM_MACOS_ARCH STREQUAL "aarch64")
  set(brelim_macos_version 11.0)
else()
  set(brelim_macos_version 10.15)
endif()
set(CMAKE_CXX_COMPILER "${BRELIM_ZIG}" c++)
# Also makes the compiler's identification compile without linking.
set(CMAKE_CXX_COMPILER_TARGET ${BRELIM_MACOS_ARCH}-macos.${brelim_macos_version})
# zig's own archiver and index, which know Mach-O objects.
set(CMAKE_CXX_ARCHIVE_CREATE "\"${BRELIM_ZIG}\" ar qc <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_APPEND "\"${BRELIM_ZIG}\" ar q <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_FINISH "\"${BRELIM_ZIG}\" ranlib <TARGET>")
# The compiler's checks compile without linking: a link would build libc++.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
