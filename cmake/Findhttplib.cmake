# cpp-httplib: its own CMake package where it ships one, otherwise the
# compiled library that Debian's libcpp-httplib-dev installs with only a
# pkg-config file. Defines httplib::httplib either way.
find_package(httplib CONFIG QUIET)
if(httplib_FOUND)
  return()
endif()
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(VEMTRAC_HTTPLIB QUIET IMPORTED_TARGET cpp-httplib)
endif()
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(httplib
  REQUIRED_VARS VEMTRAC_HTTPLIB_FOUND
  VERSION_VAR VEMTRAC_HTTPLIB_VERSION)
if(httplib_FOUND AND NOT TARGET httplib::httplib)
  find_package(Threads REQUIRED)
  add_library(httplib::httplib INTERFACE IMPORTED)
  target_link_libraries(httplib::httplib INTERFACE PkgConfig::VEMTRAC_HTTPLIB Threads::Threads)
endif()
