# Cross-building for the board (32-bit ARMv7-A, hard-float) with Debian's
# armhf cross compiler (crossbuild-essential-armhf), against a sysroot of the
# armhf libraries made by scripts/armhf-sysroot.sh (SCOPE_ARMHF_SYSROOT,
# default build-armhf-sysroot). Programs built for the board run on the PC
# under qemu-user (qemu-arm), which CMake and CTest use as the emulator.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SCOPE_ARMHF_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${SCOPE_ARMHF_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SCOPE_ARMHF_TRIPLE}-g++)

if(DEFINED ENV{SCOPE_ARMHF_SYSROOT})
  set(SCOPE_ARMHF_SYSROOT $ENV{SCOPE_ARMHF_SYSROOT})
else()
  get_filename_component(SCOPE_ARMHF_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build-armhf-sysroot ABSOLUTE)
endif()
set(CMAKE_SYSROOT ${SCOPE_ARMHF_SYSROOT})
set(lib ${SCOPE_ARMHF_SYSROOT}/usr/lib/${SCOPE_ARMHF_TRIPLE})
# The sysroot's C library start files, and its libraries' own dependencies.
set(flags "-march=armv7-a -mfpu=neon -mfloat-abi=hard -B${lib}")
set(CMAKE_C_FLAGS_INIT "${flags}")
set(CMAKE_CXX_FLAGS_INIT "${flags}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${lib} -Wl,-rpath-link,${SCOPE_ARMHF_SYSROOT}/lib/${SCOPE_ARMHF_TRIPLE}")

set(CMAKE_FIND_ROOT_PATH ${SCOPE_ARMHF_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${lib}/pkgconfig:${SCOPE_ARMHF_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${SCOPE_ARMHF_SYSROOT})

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L ${SCOPE_ARMHF_SYSROOT})
