# The install tree (relocatable: the program finds share/solvane beside its bin/) and the Debian package.
#   bin/solvane, lib/solvane/solvane-app.so (the application the program loads), lib/solvane/Solvane.saver/,
#   share/solvane/ (glossary, seed, help), share/applications, share/icons/hicolor, share/metainfo,
#   share/xsessions, share/man/man1, share/bash-completion/completions, share/doc/solvane
include(GNUInstallDirs)

set(solvane_resources ${CMAKE_SOURCE_DIR}/resources)
install(FILES ${solvane_resources}/glossary.json DESTINATION share/solvane)
if(EXISTS ${solvane_resources}/Help.html)
  install(FILES ${solvane_resources}/Help.html DESTINATION share/solvane)
endif()
if(EXISTS ${solvane_resources}/solvane.desktop)
  install(FILES ${solvane_resources}/solvane.desktop DESTINATION share/applications)
endif()
if(EXISTS ${solvane_resources}/solvane-kiosk.desktop)
  install(FILES ${solvane_resources}/solvane-kiosk.desktop DESTINATION share/xsessions)
endif()
if(IS_DIRECTORY ${solvane_resources}/icons/hicolor)
  install(DIRECTORY ${solvane_resources}/icons/hicolor DESTINATION share/icons)
endif()
install(FILES ${solvane_resources}/install/example.tessly.solvane.metainfo.xml DESTINATION share/metainfo)
install(FILES ${solvane_resources}/install/solvane.bash-completion
        DESTINATION share/bash-completion/completions RENAME solvane)
install(FILES ${solvane_resources}/install/copyright DESTINATION share/doc/solvane)
# Manual pages and changelogs are installed compressed, as Debian keeps them. The manual page's switches and
# exit statuses come from the --help table (solvane-manual fills them into the template).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed)
set(manual ${CMAKE_BINARY_DIR}/package/solvane.1)
add_custom_command(OUTPUT ${manual}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
  COMMAND solvane-manual ${solvane_resources}/install/solvane.1 ${manual}
  DEPENDS ${solvane_resources}/install/solvane.1 solvane-manual VERBATIM)
foreach(pair "${manual};share/man/man1" "${solvane_resources}/install/changelog;share/doc/solvane")
  list(GET pair 0 source)
  list(GET pair 1 destination)
  get_filename_component(name ${source} NAME)
  set(output ${CMAKE_BINARY_DIR}/package/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package
    COMMAND ${GZIP_PROGRAM} -9n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  list(APPEND compressed ${output})
  install(FILES ${output} DESTINATION ${destination})
endforeach()
add_custom_target(solvane_compressed_docs ALL DEPENDS ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME solvane)
set(CPACK_PACKAGE_VENDOR "Tessly")
set(CPACK_PACKAGE_CONTACT "Solvane developers <solvane@solvane.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live imagery of the Sun on every display")
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Solvane shows live imagery of the Sun from NASA's Solar Dynamics Observatory.
It keeps a local cache of 48-hour clips and stills, refreshed from an imagery
mirror, and plays them full screen, as a screen saver, in a kiosk or as the
desktop picture.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The version names the Debian release the package was built on (0.1.0+deb12, 0.1.0+deb13): its dependencies
# are that release's library packages, so each release has its own package, and 12's upgrades to 13's.
cmake_host_system_information(RESULT solvane_distribution QUERY DISTRIB_ID DISTRIB_VERSION_ID)
list(GET solvane_distribution 0 solvane_distribution_id)
list(GET solvane_distribution 1 solvane_distribution_version)
if(solvane_distribution_id STREQUAL "debian" AND solvane_distribution_version MATCHES "^[0-9]+$")
  set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}+deb${solvane_distribution_version}")
endif()
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://solvane.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
set(CPACK_STRIP_FILES ON)
# CPack writes postinst and postrm scripts that call ldconfig for any shared object below /usr/lib, which
# lintian warns about; solvane-app.so is private (lib/solvane, loaded by its path), so the package needs no
# maintainer scripts at all. Naming scripts that never exist keeps CPack from writing its own and adds none.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package/no-scripts/postinst
                                       ${CMAKE_BINARY_DIR}/package/no-scripts/postrm)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Qt finds its display plugins at run time, so no library dependency names them; without qt6-wayland a
# Wayland session falls back to XWayland, where the compositor's idle and inhibit protocols are unseen.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
include(CPack)
