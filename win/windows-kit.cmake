# The Windows build of the whole project against the kit that
# scripts/windows-kit.sh makes (Qt and libjpeg-turbo for x86_64-w64-mingw32),
# as an initial cache:
#   cmake -S . -B build-windows -G Ninja -C win/windows-kit.cmake [-DKORVEX_WINDOWS_KIT=KIT]
# KIT defaults to $KORVEX_WINDOWS_KIT/korvex-windows-kit, else
# ~/.cache/korvex/windows-kit/korvex-windows-kit. The host tools (moc, rcc,
# uic) are the machine's own Qt of the same version.
if(DEFINED ENV{KORVEX_WINDOWS_KIT})
  set(kit_default "$ENV{KORVEX_WINDOWS_KIT}/korvex-windows-kit")
else()
  set(kit_default "$ENV{HOME}/.cache/korvex/windows-kit/korvex-windows-kit")
endif()
set(KORVEX_WINDOWS_KIT "${kit_default}" CACHE PATH "The Windows kit's folder")
set(CMAKE_TOOLCHAIN_FILE "${KORVEX_WINDOWS_KIT}/lib/cmake/Qt6/qt.toolchain.cmake" CACHE FILEPATH "")
set(QT_CHAINLOAD_TOOLCHAIN_FILE "${KORVEX_WINDOWS_KIT}/mingw64.cmake" CACHE FILEPATH "")
set(QT_HOST_PATH "/usr" CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/x86_64-linux-gnu/cmake" CACHE PATH "")
set(CMAKE_PREFIX_PATH "${KORVEX_WINDOWS_KIT}" CACHE PATH "")
set(CMAKE_BUILD_TYPE Release CACHE STRING "")
set(KORVEX_TESTS OFF CACHE BOOL "")
set(KORVEX_BENCH OFF CACHE BOOL "")
set(KORVEX_WERROR ON CACHE BOOL "")
