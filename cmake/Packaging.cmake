# Installation layout and the Debian package.
#
#   cmake --install <build> --prefix <root>    the program, its private libraries, desktop entry
#   cpack --config <build>/CPackConfig.cmake     tarnel_<version>_<arch>.deb, depending on v2ray
#
# The program's own shared libraries live in a private folder next to nothing else's; the program
# finds them through its run path. Test tools (the development service) have no install rule.
include(GNUInstallDirs)

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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnel)
set(CPACK_PACKAGE_VENDOR "Tarnel")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Desktop VPN client")
set(CPACK_PACKAGE_DESCRIPTION "Tarnel connects this computer through an encrypted proxy tunnel run by v2ray.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tarnel developers <dev@tarnel.app>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "v2ray, nftables, iproute2, polkitd | policykit-1")
# Library dependencies (Qt, libcurl, OpenSSL, ...) found from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_BINARY_DIR}/core;${CMAKE_BINARY_DIR}/services;${CMAKE_BINARY_DIR}/platform")
include(CPack)
