# Installation layout and the Debian package.
#
#   cmake --install <build> --prefix <root>    the program, its private libraries, desktop entry
#   scripts/package [build]                      tarnel_<version>-<revision>_<arch>.deb from a
#                                                hardened build of its own (cpack refuses any other)
#
# The program's own shared libraries live in a private folder next to nothing else's; the program
# finds them through its run path. Test tools (the development service) have no install rule.
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/RuntimePackages.cmake)

set(TARNEL_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/tarnel")
set(tarnel_private_libraries TarnelLibrary Helmsey)
get_target_property(platform_type platform TYPE)
if(platform_type STREQUAL "SHARED_LIBRARY")
  list(APPEND tarnel_private_libraries platform)
endif()

set_target_properties(tarnel PROPERTIES INSTALL_RPATH "$ORIGIN/../${TARNEL_PRIVATE_LIBDIR}")
set_target_properties(${tarnel_private_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS tarnel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS ${tarnel_private_libraries} LIBRARY DESTINATION ${TARNEL_PRIVATE_LIBDIR} NAMELINK_SKIP)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Spindrift, the privileged tunnel host: started on demand by its socket, authorised by polkit.
# The service unit names the program by the prefix it is installed under, known only then.
install(TARGETS spindrift RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/tarnel)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.tarnelmacos.ne.socket DESTINATION lib/systemd/system)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.tarnelmacos.ne.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
install(CODE "
  set(SPINDRIFT_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBEXECDIR}/tarnel/io.tarnelmacos.ne\")
  configure_file(\"${PROJECT_SOURCE_DIR}/packaging/io.tarnelmacos.ne.service.in\"
                 \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/io.tarnelmacos.ne.service\" @ONLY)
  message(STATUS \"Installing: \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/io.tarnelmacos.ne.service\")
")
set_target_properties(spindrift PROPERTIES INSTALL_RPATH "$ORIGIN/../../${TARNEL_PRIVATE_LIBDIR}")
# The system user Spindrift runs the proxy engine as; the package's postinst creates it.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/tarnel-engine.sysusers.conf
        DESTINATION lib/sysusers.d RENAME tarnel-engine.conf)

# What Debian asks of every package: the copyright file, the packaging changelog and a manual
# page for the program, compressed
# reproducibly (no name or time stamp in the gzip header).
set(tarnel_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/tarnel)
set(tarnel_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
find_program(TARNEL_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${tarnel_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${TARNEL_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${tarnel_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog VERBATIM)
set(tarnel_manual ${CMAKE_BINARY_DIR}/packaging/tarnel.1.gz)
add_custom_command(OUTPUT ${tarnel_manual}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND ${TARNEL_GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/tarnel.1 > ${tarnel_manual}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/tarnel.1 VERBATIM)
add_custom_target(tarnel_documents ALL DEPENDS ${tarnel_changelog} ${tarnel_manual})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${tarnel_changelog} DESTINATION ${tarnel_doc_dir})
install(FILES ${tarnel_manual} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnel)
set(CPACK_PACKAGE_VENDOR "Tarnel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop VPN client")
set(CPACK_PACKAGE_DESCRIPTION "Tarnel connects this computer through an encrypted proxy tunnel run by v2ray.
After signing in, the user picks a location, node or tag, a routing mode and a
protocol, and connects. Proxy mode sets the desktop's proxy (GNOME or KDE);
tunnel mode captures all of the machine's traffic through a small system
service started on demand and authorised through polkit.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The first entry of packaging/debian/changelog names this version and revision.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnel developers <dev@tarnel.app>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${TARNEL_OFFICIAL_SITE}/")
# Library dependencies (Qt, libcurl, OpenSSL, ...) found from the binaries themselves; what Qt
# loads at run time (QML modules, plugins, the browser engine's process) found from Qt's files.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/core;${CMAKE_BINARY_DIR}/services;${CMAKE_BINARY_DIR}/platform")
file(GLOB_RECURSE tarnel_qml_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/ui/*.qml)
tarnel_runtime_packages(tarnel_qt_runtime QML_SOURCES ${tarnel_qml_sources})
# Tunnel mode: the engine, the capture's tools, polkit; the maintainer scripts' helpers for the
# socket (init-system-helpers) and for the engine's user where systemd-sysusers is missing.
set(tarnel_depends v2ray nftables iproute2 polkitd "init-system-helpers (>= 1.54~)" adduser
    ${tarnel_qt_runtime})
list(JOIN tarnel_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# The desktop tools the program calls: gsettings (GNOME proxy), kwriteconfig5 (KDE proxy),
# xdg-open (links and folders). Without them the program runs and skips what they do.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libglib2.0-bin, libkf5config-bin, xdg-utils")
# Release binaries only, stripped: debug symbols stay out of the package.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/prerm
  ${PROJECT_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# cpack refuses any build but the package's own (scripts/package makes it).
option(TARNEL_PACKAGE_BUILD "The package's own configuration (set by scripts/package)" OFF)
if(TARNEL_PACKAGE_BUILD AND NOT TARNEL_BUILD_TESTS)
  set(TARNEL_PACKAGE_ALLOWED yes)
else()
  set(TARNEL_PACKAGE_ALLOWED no)
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/CPackProjectConfig.cmake.in ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackProjectConfig.cmake)
include(CPack)
