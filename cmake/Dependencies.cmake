# Third-party libraries, all from Debian 12.
find_package(Qt5 5.15 REQUIRED COMPONENTS
    Core Gui Widgets Network Sql Multimedia OpenGL WebSockets Svg Test DBus)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(AVFORMAT   REQUIRED IMPORTED_TARGET libavformat)
pkg_check_modules(AVCODEC    REQUIRED IMPORTED_TARGET libavcodec)
pkg_check_modules(AVUTIL     REQUIRED IMPORTED_TARGET libavutil)
pkg_check_modules(SWRESAMPLE REQUIRED IMPORTED_TARGET libswresample)
pkg_check_modules(SWSCALE    REQUIRED IMPORTED_TARGET libswscale)
pkg_check_modules(AVDEVICE   REQUIRED IMPORTED_TARGET libavdevice)
pkg_check_modules(OSIP2      REQUIRED IMPORTED_TARGET libosip2)
pkg_check_modules(OPUS       REQUIRED IMPORTED_TARGET opus)
pkg_check_modules(SPANDSP    REQUIRED IMPORTED_TARGET spandsp)
pkg_check_modules(CARES      REQUIRED IMPORTED_TARGET libcares)
pkg_check_modules(QRENCODE   REQUIRED IMPORTED_TARGET libqrencode)
pkg_check_modules(SQLITE3    REQUIRED IMPORTED_TARGET sqlite3)
pkg_check_modules(PULSE      REQUIRED IMPORTED_TARGET libpulse)
find_package(OpenSSL 3 REQUIRED)

# libgsm1-dev ships neither a .pc file nor a CMake config.
find_path(GSM_INCLUDE_DIR gsm.h PATH_SUFFIXES gsm REQUIRED)
find_library(GSM_LIBRARY gsm REQUIRED)
add_library(GSM::gsm UNKNOWN IMPORTED)
set_target_properties(GSM::gsm PROPERTIES
    IMPORTED_LOCATION "${GSM_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${GSM_INCLUDE_DIR}")

if(PA_BUILD_TESTS)
  find_package(GTest REQUIRED)
endif()
if(PA_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
