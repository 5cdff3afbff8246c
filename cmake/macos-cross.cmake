# Cross-compiles for macOS on Linux with Debian's clang and lld against a
# sysroot of Apple's headers and link stubs (see scripts/mac-build.sh). One
# architecture per build; the script joins the two with llvm-lipo.
#
#   -DCMAKE_TOOLCHAIN_FILE=cmake/macos-cross.cmake -DMAC_SYSROOT=<sdk> -DMAC_ARCH=arm64|x86_64

set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.4) # Darwin 20.4 is macOS 11.3

if(NOT MAC_SYSROOT)
  set(MAC_SYSROOT "$ENV{MAC_SYSROOT}")
endif()
if(NOT MAC_ARCH)
  set(MAC_ARCH "$ENV{MAC_ARCH}")
endif()
if(NOT MAC_ARCH)
  set(MAC_ARCH arm64)
endif()
if(NOT IS_DIRECTORY "${MAC_SYSROOT}")
  message(FATAL_ERROR "MAC_SYSROOT must name the macOS sysroot (got '${MAC_SYSROOT}')")
endif()
# Try-compiles run in their own projects: hand them the same choices.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MAC_SYSROOT MAC_ARCH)

set(CMAKE_SYSTEM_PROCESSOR ${MAC_ARCH})
set(CMAKE_OSX_ARCHITECTURES ${MAC_ARCH})
set(CMAKE_OSX_SYSROOT ${MAC_SYSROOT})
set(CMAKE_OSX_DEPLOYMENT_TARGET 11.3)

set(_target ${MAC_ARCH}-apple-macos11.3)
find_program(MAC_CLANG NAMES clang clang-14 REQUIRED)
find_program(MAC_CLANGXX NAMES clang++ clang++-14 REQUIRED)
set(CMAKE_C_COMPILER ${MAC_CLANG})
set(CMAKE_CXX_COMPILER ${MAC_CLANGXX})
set(CMAKE_OBJCXX_COMPILER ${MAC_CLANGXX})
set(CMAKE_C_COMPILER_TARGET ${_target})
set(CMAKE_CXX_COMPILER_TARGET ${_target})
set(CMAKE_OBJCXX_COMPILER_TARGET ${_target})

# Apple's libc++ from the sysroot, never the host's libstdc++.
set(CMAKE_CXX_FLAGS_INIT "-stdlib=libc++")
set(CMAKE_OBJCXX_FLAGS_INIT "-stdlib=libc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -stdlib=libc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -stdlib=libc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld -stdlib=libc++")

find_program(CMAKE_AR NAMES llvm-ar llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib llvm-ranlib-14 REQUIRED)
find_program(CMAKE_INSTALL_NAME_TOOL NAMES llvm-install-name-tool llvm-install-name-tool-14)

# Libraries and headers come from the sysroot only; programs from the host.
set(CMAKE_FIND_ROOT_PATH ${MAC_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
