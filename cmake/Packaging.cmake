# Install layout (GNUInstallDirs) and the Debian package (CPack of everything installed).
# Installed files find each other relative to the program, so an unpacked tree works anywhere.
include(GNUInstallDirs)

set(CUBRIX_DATA_DIR ${CMAKE_INSTALL_DATADIR}/cubrix)
set(CUBRIX_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/cubrix)  # the package's name, as Debian wants
# The template a user's new drive is seeded from: the same relative place in the build tree
# (beside build/<preset>/host/) as under the prefix (beside bin/).
set(CUBRIX_DRIVE_TEMPLATE_SUBDIR share/cubrix/drive_c/windows)

set(cubrix_template_cube ${PROJECT_BINARY_DIR}/${CUBRIX_DRIVE_TEMPLATE_SUBDIR}/Cube.dat)
# Each custom command makes its own output folder: Makefile generators do not (Ninja does).
add_custom_command(OUTPUT ${cubrix_template_cube}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/${CUBRIX_DRIVE_TEMPLATE_SUBDIR}
                   COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/Cube.dat ${cubrix_template_cube}
                   DEPENDS ${PROJECT_SOURCE_DIR}/data/Cube.dat
                   COMMENT "Drive template: the sample Cube.dat")
add_custom_target(cubrix_drive_template ALL DEPENDS ${cubrix_template_cube})
add_dependencies(cubrix cubrix_drive_template)

# Manual pages ship compressed, as Debian wants them.
set(cubrix_compressed_files)
function(cubrix_install_man_page source section)
  get_filename_component(name ${source} NAME)
  set(compressed ${PROJECT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                     COMMAND gzip -9nc ${source} > ${compressed}
                     DEPENDS ${source}
                     COMMENT "Manual page ${name}")
  install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  set(cubrix_compressed_files ${cubrix_compressed_files} ${compressed} PARENT_SCOPE)
endfunction()
cubrix_install_man_page(${PROJECT_SOURCE_DIR}/packaging/cubrix.6 6)
cubrix_install_man_page(${PROJECT_SOURCE_DIR}/docs/man/cubrix-object-check.1 1)
if(TARGET cubrix-render)
  cubrix_install_man_page(${PROJECT_SOURCE_DIR}/docs/man/cubrix-render.1 1)
endif()
set(cubrix_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${cubrix_changelog}
                   COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
                   COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/packaging/changelog > ${cubrix_changelog}
                   DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
                   COMMENT "Changelog")
add_custom_target(cubrix_compressed_docs ALL DEPENDS ${cubrix_compressed_files} ${cubrix_changelog})

# The daemon wrapper, from one template: installed, it runs the program in bin/ (found relative to
# itself, so an unpacked tree works too); in a build tree, cubrix-daemon runs the program beside it.
set(cubrix_wrapper_dir ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)  # Debian's XScreenSaver looks here
file(RELATIVE_PATH cubrix_wrapper_to_bin ${CMAKE_INSTALL_FULL_LIBEXECDIR}/xscreensaver ${CMAKE_INSTALL_FULL_BINDIR})
set(cubrix_wrapper_permissions OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CUBRIX_WRAPPER_PROGRAM ${cubrix_wrapper_to_bin}/cubrix)
set(CUBRIX_INSTALLED_WRAPPER ${PROJECT_BINARY_DIR}/packaging/cubrix)
configure_file(packaging/cubrix-daemon.in ${CUBRIX_INSTALLED_WRAPPER} @ONLY FILE_PERMISSIONS ${cubrix_wrapper_permissions})
get_target_property(cubrix_program_dir cubrix BINARY_DIR)
set(CUBRIX_WRAPPER_PROGRAM cubrix)
set(CUBRIX_BUILD_WRAPPER ${cubrix_program_dir}/cubrix-daemon)
configure_file(packaging/cubrix-daemon.in ${CUBRIX_BUILD_WRAPPER} @ONLY FILE_PERMISSIONS ${cubrix_wrapper_permissions})

install(TARGETS cubrix RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS ${CUBRIX_INSTALLED_WRAPPER} DESTINATION ${cubrix_wrapper_dir})
install(FILES data/Cube.dat DESTINATION ${CUBRIX_DATA_DIR}/drive_c/windows)
install(FILES packaging/cubrix.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)
install(FILES packaging/README.user.md DESTINATION ${CUBRIX_DOC_DIR} RENAME README)  # the user's, not the developers'
install(FILES packaging/copyright ${cubrix_changelog} DESTINATION ${CUBRIX_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cubrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Cubrix developers <cubrix@users.noreply.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "classic 3D screen saver of nine turning solid objects")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)  # release programs ship stripped
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # cubrix_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)  # Depends from the program's real libraries
# xwininfo finds the root window for the daemon wrapper's -root.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "x11-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver | xsecurelock")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Modes independent of the builder's umask; file times come from SOURCE_DATE_EPOCH, which CPack
# honours and scripts/package sets to the commit's time.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/PackageModes.cmake)
# The summary above is the first line; the formatter indents each line and marks empty ones.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Cubrix covers the screen with black and animates nine copies of one solid
object, read from the plain-text file Cube.dat, on a turning 3-by-3 grid.
All geometry is integer fixed-point arithmetic over lookup tables.

It runs full screen on X11, or inside the window of a screen-saver daemon
such as XScreenSaver (whose settings list it) or XSecureLock. A sample
object is copied into each user's data folder on first use.")
include(CPack)
