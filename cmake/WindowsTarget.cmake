# Windows builds: static runtime (Wine has no MinGW runtime DLLs) and the oldest API level the toolchain allows.
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX)
add_link_options(-static -static-libgcc -static-libstdc++)
