# Warnings for every target of the project, and the optional sanitizer instrumentation.
# VELLUM_WERROR turns warnings into errors: on for developer builds (make test-core, make
# sanitize), off for users, whose compilers may warn about things ours does not.
option(VELLUM_WERROR "Treat compiler warnings as errors" OFF)
if(VELLUM_SANITIZE)
  string(REPLACE "," ";" _vellum_sanitizers "${VELLUM_SANITIZE}")
  list(JOIN _vellum_sanitizers "," _vellum_sanitize_flag)
  add_compile_options(-fsanitize=${_vellum_sanitize_flag} -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=${_vellum_sanitize_flag})
endif()

function(vellum_apply_options target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic $<$<BOOL:${VELLUM_WERROR}>:-Werror>)
endfunction()
