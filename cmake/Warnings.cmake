# Compiler warnings for the project's own targets (not for third-party code).
function(cubrix_set_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wpedantic -Wconversion -Wsign-conversion)
endfunction()
