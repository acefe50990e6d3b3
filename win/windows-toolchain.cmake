# The toolchain of the Windows build: mingw-w64 (posix threads) with the kit
# that scripts/windows-kit.sh makes (Qt and libjpeg-turbo for
# x86_64-w64-mingw32). The `windows` preset names it:
#   cmake --preset windows [-DKORVEX_WINDOWS_KIT=KIT] && cmake --build --preset windows
# KIT defaults to $KORVEX_WINDOWS_KIT/korvex-windows-kit, else
# ~/.cache/korvex/windows-kit/korvex-windows-kit. The host tools (moc, rcc,
# uic) are the machine's own Qt of the same version.
if(NOT KORVEX_WINDOWS_KIT)
  if(DEFINED ENV{KORVEX_WINDOWS_KIT})
    set(KORVEX_WINDOWS_KIT "$ENV{KORVEX_WINDOWS_KIT}/korvex-windows-kit")
  else()
    set(KORVEX_WINDOWS_KIT "$ENV{HOME}/.cache/korvex/windows-kit/korvex-windows-kit")
  endif()
endif()
set(KORVEX_WINDOWS_KIT "${KORVEX_WINDOWS_KIT}" CACHE PATH "The Windows kit's folder")
if(NOT EXISTS "${KORVEX_WINDOWS_KIT}/lib/cmake/Qt6/qt.toolchain.cmake")
  message(FATAL_ERROR "No Windows kit in ${KORVEX_WINDOWS_KIT}: scripts/windows-kit.sh makes one")
endif()
# try_compile runs this file again in its own project: hand it the kit.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES KORVEX_WINDOWS_KIT)

set(QT_CHAINLOAD_TOOLCHAIN_FILE "${KORVEX_WINDOWS_KIT}/mingw64.cmake" CACHE FILEPATH "")
set(QT_HOST_PATH "/usr" CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/x86_64-linux-gnu/cmake" CACHE PATH "")
list(APPEND CMAKE_PREFIX_PATH "${KORVEX_WINDOWS_KIT}")
include("${KORVEX_WINDOWS_KIT}/lib/cmake/Qt6/qt.toolchain.cmake")
