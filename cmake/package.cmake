# What a Debian package installs, and the package itself (bash scripts/package.sh).
include(GNUInstallDirs)

install(TARGETS wenlow wenlow-check wenlow-update wenlow-lists DESTINATION ${CMAKE_INSTALL_BINDIR})
# The parents' helper, run by pkexec once a parent has signed in (polkit action and rules).
install(TARGETS wenlow-write DESTINATION lib/wenlow)
set(WENLOW_HELPER /usr/lib/wenlow/wenlow-write)
configure_file(packaging/net.wenlow.Explorer.policy.in ${CMAKE_BINARY_DIR}/packaging/net.wenlow.Explorer.policy @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/net.wenlow.Explorer.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
install(FILES packaging/wenlow.rules DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d RENAME 10-wenlow.rules)
# The supplied files, copied into the system folder /var/lib/wenlow where it lacks them.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/sample/ DESTINATION ${CMAKE_INSTALL_DATADIR}/wenlow)
install(FILES packaging/wenlow.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/wenlow.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
configure_file(packaging/net.wenlow.Explorer.metainfo.xml ${CMAKE_BINARY_DIR}/packaging/net.wenlow.Explorer.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/net.wenlow.Explorer.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES packaging/wenlow-update.service packaging/wenlow-update.timer DESTINATION lib/systemd/system)
install(FILES packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages and the changelog, compressed as Debian keeps them (no time stamp inside).
set(compressed)
foreach(page wenlow wenlow-check wenlow-update wenlow-lists)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
foreach(file ${compressed})
  get_filename_component(name ${file} NAME_WLE)
  add_custom_command(OUTPUT ${file}
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${name} > ${file}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${name})
endforeach()
# The version comes from the project, here as everywhere.
configure_file(packaging/changelog ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/changelog > ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog)
list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
add_custom_target(compressed_docs ALL DEPENDS ${compressed})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wenlow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Wenlow Explorer developers <team@wenlow-explorer.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web browser for children with parental controls")
set(CPACK_PACKAGE_DESCRIPTION "Wenlow Explorer shows a child list pages of approved sites and opens
only what the parent's rules allow: every page, frame and request is tested
against lists of blocked and approved sites before it is fetched. A parent,
behind a password, sets the rules, the picture buttons and the list source.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The lists named in sources.txt are fetched over https, checked against the system's authorities.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, ca-certificates")
# A parent allowing a change at a child's screen; without it, the change needs a parent's account.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pkexec")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${CMAKE_SOURCE_DIR}/packaging/postinst;${CMAKE_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_MD5SUMS ON)
include(CPack)
