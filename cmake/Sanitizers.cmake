# AddressSanitizer and UndefinedBehaviorSanitizer for every target; the first report fails the run.
if(CUBRIX_SANITIZE)
  set(_cubrix_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${_cubrix_san})
  add_link_options(${_cubrix_san})
endif()
