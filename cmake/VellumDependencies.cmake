# System libraries from the Debian -dev packages that scripts/install-system-deps.sh installs.
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
add_library(vellum::pcre2 ALIAS PkgConfig::PCRE2)

find_package(TBB REQUIRED)
find_package(Boost 1.81 REQUIRED CONFIG)
find_package(simdjson 3 REQUIRED CONFIG)

find_path(XXHASH_INCLUDE_DIR xxhash.h REQUIRED)
add_library(vellum_xxhash INTERFACE)
target_include_directories(vellum_xxhash INTERFACE ${XXHASH_INCLUDE_DIR})
# XXH3 is used header-only: inlining keeps hashing out of a shared-library call in hot loops.
target_compile_definitions(vellum_xxhash INTERFACE XXH_INLINE_ALL)
add_library(vellum::xxhash ALIAS vellum_xxhash)
