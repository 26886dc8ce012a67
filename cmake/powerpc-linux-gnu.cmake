# Cross build for the device: 32-bit big-endian PowerPC Linux, with Debian's
# powerpc-linux-gnu toolchain. Test programs run under qemu-user, so ctest runs
# the whole suite on the emulated device.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(CONFMODEL_TRIPLE powerpc-linux-gnu)
set(CMAKE_C_COMPILER ${CONFMODEL_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CONFMODEL_TRIPLE}-g++)

# Debian's cross compiler finds its headers and libraries by itself; the root
# path only keeps find_* calls from picking up the build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${CONFMODEL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -L makes the emulator's loader find the target's libc and libstdc++.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -L /usr/${CONFMODEL_TRIPLE})

# Flash on the device is counted in kilobytes. The library is linked for the
# 4 KiB pages of 32-bit PowerPC kernels rather than the linker's 64 KiB (set
# CONFMODEL_PAGE_SIZE for a device with larger pages), and built for size.
# It throws nothing and unwinds nothing, and on PowerPC every stack frame
# keeps a back chain that debuggers and backtrace() walk, so it needs no
# unwind tables.
set(CONFMODEL_PAGE_SIZE 4096 CACHE STRING "Page size of the device's kernel, in bytes")
set(CONFMODEL_SMALL ON CACHE BOOL "Build the library for size")
