# Libraries the instrument links (Debian packages, see scripts/install-deps.sh).
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
find_package(Boost 1.81 CONFIG REQUIRED COMPONENTS json)   # libboost-json1.81-dev
pkg_check_modules(TURBOJPEG REQUIRED IMPORTED_TARGET libturbojpeg) # libturbojpeg0-dev
pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)       # libfftw3-dev
pkg_check_modules(LZO2 REQUIRED IMPORTED_TARGET lzo2)           # liblzo2-dev
pkg_check_modules(CJSON REQUIRED IMPORTED_TARGET libcjson)      # libcjson-dev
pkg_check_modules(SIMPLEINI REQUIRED IMPORTED_TARGET simpleini) # libsimpleini-dev
pkg_check_modules(TIRPC REQUIRED IMPORTED_TARGET libtirpc)      # libtirpc-dev
pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)  # libfreetype-dev (resource tools)
pkg_check_modules(PNG REQUIRED IMPORTED_TARGET libpng)          # libpng-dev (screen tool)

# libopencv-videoio-dev ships no CMake or pkg-config file of its own.
find_path(OPENCV_INCLUDE_DIR opencv2/videoio.hpp PATH_SUFFIXES opencv4 REQUIRED)
find_library(OPENCV_VIDEOIO_LIB opencv_videoio REQUIRED)
find_library(OPENCV_CORE_LIB opencv_core REQUIRED)
add_library(opencv_videoio_dep INTERFACE)
target_include_directories(opencv_videoio_dep SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
target_link_libraries(opencv_videoio_dep INTERFACE ${OPENCV_VIDEOIO_LIB} ${OPENCV_CORE_LIB})

add_library(scope_deps INTERFACE)
target_link_libraries(scope_deps INTERFACE
  Boost::json PkgConfig::TURBOJPEG PkgConfig::FFTW3F PkgConfig::LZO2 PkgConfig::CJSON
  PkgConfig::SIMPLEINI PkgConfig::TIRPC opencv_videoio_dep Threads::Threads)
