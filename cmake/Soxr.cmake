# The resampler, as the target jeerbox_soxr.
#
# Where it can, the build makes libsoxr itself, as a static library without OpenMP, from
# Debian's source of the very version the system's package is (0.1.3): a program then maps no
# libsoxr and no OpenMP runtime at start, and the batch tool can be linked whole (see the
# tools in the main CMakeLists.txt), which is most of a short run's time. The resampler's
# results are the same bytes: OpenMP only spreads channels over threads, and the taunt is
# resampled as one channel. Where the source cannot be had (no network, a mismatching
# download) or the build is sanitized, the system's shared libsoxr is used, as before.
#
# JEERBOX_SOXR_STATIC is set to TRUE when the static library is used.

set(JEERBOX_SOXR_SOURCE_URL "http://deb.debian.org/debian/pool/main/libs/libsoxr/libsoxr_0.1.3.orig.tar.xz"
  CACHE STRING "Where the build finds libsoxr's source")
set(JEERBOX_SOXR_SOURCE_SHA256 b111c15fdc8c029989330ff559184198c161100a59312f5dc19ddeb9b5a15889)
option(JEERBOX_BUILD_SOXR "Build libsoxr from its source (static, without OpenMP) when it can be had" ON)

set(JEERBOX_SOXR_STATIC FALSE)
set(soxr_tarball ${CMAKE_BINARY_DIR}/soxr/libsoxr_0.1.3.orig.tar.xz)
if(JEERBOX_BUILD_SOXR AND NOT JEERBOX_SANITIZE AND NOT JEERBOX_FUZZ)
  if(NOT EXISTS ${soxr_tarball})
    file(DOWNLOAD ${JEERBOX_SOXR_SOURCE_URL} ${soxr_tarball}.part
      EXPECTED_HASH SHA256=${JEERBOX_SOXR_SOURCE_SHA256} TIMEOUT 60 STATUS soxr_download)
    list(GET soxr_download 0 soxr_download_code)
    if(soxr_download_code EQUAL 0)
      file(RENAME ${soxr_tarball}.part ${soxr_tarball})
    else()
      file(REMOVE ${soxr_tarball}.part)
      message(STATUS "libsoxr's source could not be had (${soxr_download}): using the system's libsoxr")
    endif()
  endif()
  if(EXISTS ${soxr_tarball})
    set(JEERBOX_SOXR_STATIC TRUE)
  endif()
endif()

if(JEERBOX_SOXR_STATIC)
  include(ExternalProject)
  set(soxr_prefix ${CMAKE_BINARY_DIR}/soxr/install)
  set(soxr_library ${soxr_prefix}/lib/libsoxr.a)
  ExternalProject_Add(soxr_build
    URL ${soxr_tarball}
    URL_HASH SHA256=${JEERBOX_SOXR_SOURCE_SHA256}
    PREFIX ${CMAKE_BINARY_DIR}/soxr
    DOWNLOAD_EXTRACT_TIMESTAMP TRUE
    CMAKE_ARGS
      -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER}
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=${soxr_prefix}
      -DCMAKE_POSITION_INDEPENDENT_CODE=ON
      -DBUILD_SHARED_LIBS=OFF
      -DWITH_OPENMP=OFF
      -DWITH_LSR_BINDINGS=OFF
      -DBUILD_TESTS=OFF
      -DBUILD_EXAMPLES=OFF
      -DLIB_INSTALL_DIR=${soxr_prefix}/lib
      -DINCLUDE_INSTALL_DIR=${soxr_prefix}/include
      -Wno-dev
    BUILD_BYPRODUCTS ${soxr_library}
    LOG_CONFIGURE TRUE LOG_BUILD TRUE LOG_INSTALL TRUE LOG_OUTPUT_ON_FAILURE TRUE)
  file(MAKE_DIRECTORY ${soxr_prefix}/include)
  add_library(jeerbox_soxr STATIC IMPORTED GLOBAL)
  set_target_properties(jeerbox_soxr PROPERTIES
    IMPORTED_LOCATION ${soxr_library}
    INTERFACE_INCLUDE_DIRECTORIES ${soxr_prefix}/include
    INTERFACE_LINK_LIBRARIES m)
  add_dependencies(jeerbox_soxr soxr_build)
else()
  pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)
  add_library(jeerbox_soxr INTERFACE IMPORTED GLOBAL)
  target_link_libraries(jeerbox_soxr INTERFACE PkgConfig::SOXR)
endif()
