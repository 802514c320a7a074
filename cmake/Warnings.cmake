# Compiler warnings for the project's own targets (not for third-party code).
option(CUBRIX_WERROR "Make every compiler warning an error (CI builds set it)" OFF)
function(cubrix_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wpedantic -Wconversion -Wsign-conversion)
  if(CUBRIX_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
