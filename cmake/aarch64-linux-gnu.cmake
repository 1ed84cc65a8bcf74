# Cross-building for 64-bit ARM Linux with Debian's multiarch packages
# (dpkg --add-architecture arm64; see scripts/test.sh --arch arm64). Test
# programs run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Otherwise pkg-config quietly answers with the build machine's libraries.
set(PKG_CONFIG_EXECUTABLE /usr/bin/aarch64-linux-gnu-pkg-config)
# No -L: libc6:arm64 puts the loader where the programs look for it, and with
# -L /usr/aarch64-linux-gnu QtTest programs hang at start.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-aarch64)
