# System libraries from the Debian -dev packages that scripts/install-system-deps.sh installs.
# A missing one stops the configure step with one line that names the Debian package, the name
# other systems know it by, and the script that installs them all.

# Stops with the message for a missing dependency.
# (The leading space makes CMake print the line as it is instead of wrapping it.)
function(vellum_missing what debian_package other_name)
  message(FATAL_ERROR
    " vellumkit needs ${what}: install the Debian package ${debian_package} (${other_name} elsewhere), "
    "or all build dependencies at once as root: bash scripts/install-system-deps.sh")
endfunction()

find_package(PkgConfig QUIET)
if(NOT PKG_CONFIG_FOUND)
  vellum_missing("pkg-config" "pkg-config" "the pkg-config or pkgconf program")
endif()
pkg_check_modules(PCRE2 QUIET IMPORTED_TARGET libpcre2-8)
if(NOT PCRE2_FOUND)
  vellum_missing("PCRE2 with its 8-bit library" "libpcre2-dev" "pkg-config module libpcre2-8")
endif()
add_library(vellum::pcre2 ALIAS PkgConfig::PCRE2)

find_package(TBB QUIET)
if(NOT TBB_FOUND)
  vellum_missing("oneTBB" "libtbb-dev" "CMake package TBB")
endif()
find_package(Boost 1.81 QUIET CONFIG)
if(NOT Boost_FOUND)
  vellum_missing("Boost 1.81 or later (headers)" "libboost1.81-dev" "CMake package Boost")
endif()
find_package(simdjson 3 QUIET CONFIG)
if(NOT simdjson_FOUND)
  vellum_missing("simdjson 3" "libsimdjson-dev" "CMake package simdjson")
endif()

find_path(XXHASH_INCLUDE_DIR xxhash.h)
if(NOT XXHASH_INCLUDE_DIR)
  vellum_missing("xxHash (header xxhash.h)" "libxxhash-dev" "pkg-config module libxxhash")
endif()
add_library(vellum_xxhash INTERFACE)
target_include_directories(vellum_xxhash INTERFACE ${XXHASH_INCLUDE_DIR})
# XXH3 is used header-only: inlining keeps hashing out of a shared-library call in hot loops.
target_compile_definitions(vellum_xxhash INTERFACE XXH_INLINE_ALL)
add_library(vellum::xxhash ALIAS vellum_xxhash)
