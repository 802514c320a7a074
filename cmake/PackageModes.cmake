# Run by CPack on its staging tree before it packs (CPACK_PRE_BUILD_SCRIPTS): every directory gets
# mode 0755. CMake makes the directories it installs into under the builder's umask, and the
# package takes its modes from that tree; files already get explicit modes from install().
file(GLOB_RECURSE staged_directories LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(path ${CPACK_TEMPORARY_DIRECTORY} ${staged_directories})
  if(IS_DIRECTORY "${path}" AND NOT IS_SYMLINK "${path}")
    file(CHMOD "${path}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
         WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
