# A second compiler for the same target: Debian's clang cross-compiling for
# 32-bit Windows over the MinGW-w64 headers and libraries of the posix-thread
# GCC (scripts/clang-build.sh). Resources still go through windres.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ROLLVIX_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER   clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET   ${ROLLVIX_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${ROLLVIX_TRIPLE})
set(CMAKE_RC_COMPILER ${ROLLVIX_TRIPLE}-windres)
# The archiver of the GCC build (clang's driver links with its ld as well):
# LLVM's own tools are not part of Debian's clang package.
set(CMAKE_AR     /usr/bin/${ROLLVIX_TRIPLE}-ar)
set(CMAKE_RANLIB /usr/bin/${ROLLVIX_TRIPLE}-ranlib)
set(CMAKE_SYSROOT /usr/${ROLLVIX_TRIPLE})

# clang does not recognise GCC's "12-posix" folder as a version, so it finds
# neither libstdc++'s headers nor libgcc: name that folder (asked of the GCC
# the other toolchain uses) and put its headers before clang's own.
execute_process(COMMAND ${ROLLVIX_TRIPLE}-g++-posix -print-libgcc-file-name
  OUTPUT_VARIABLE ROLLVIX_LIBGCC OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(ROLLVIX_GCC_DIR "${ROLLVIX_LIBGCC}" DIRECTORY)
set(CMAKE_CXX_FLAGS_INIT "-isystem ${ROLLVIX_GCC_DIR}/include/c++ \
-isystem ${ROLLVIX_GCC_DIR}/include/c++/${ROLLVIX_TRIPLE} -isystem ${ROLLVIX_GCC_DIR}/include/c++/backward")
# -pthread: libstdc++ and libgcc of the posix-thread GCC need winpthread, which
# that GCC links on its own.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-L${ROLLVIX_GCC_DIR} -pthread")
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${ROLLVIX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
