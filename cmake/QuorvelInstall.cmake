# What "cmake --install" puts where, and the Debian package CPack makes of it.
#
#   cmake --install build --prefix /usr/local          # a local install
#   cmake --build build --target package               # build/quorvel_<version>_amd64.deb
#
# Every destination is relative to the install prefix (the package uses /usr),
# so a staged install (DESTDIR=STAGE cmake --install build --prefix /usr)
# never touches the host.
include(GNUInstallDirs)
# The package is "quorvel": its documentation folder is named so too (unless set).
if(CMAKE_INSTALL_DOCDIR STREQUAL "${CMAKE_INSTALL_DATAROOTDIR}/doc/${PROJECT_NAME}")
  set(CMAKE_INSTALL_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvel")
endif()

set(QUORVEL_SYSTEMD_UNITDIR "lib/systemd/system" CACHE PATH
    "Where the systemd units go, below the install prefix")
set(QUORVEL_SYSTEMD_CATALOGDIR "lib/systemd/catalog" CACHE PATH
    "Where the journal catalog goes, below the install prefix")

install(TARGETS quorvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Documentation: the README, the pages of docs/ and the example profile.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}
        PATTERN "quorvel.1" EXCLUDE)

# The manual page, compressed as Debian keeps them (-n: no name or time
# stamp, so the same page gives the same file).
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/quorvel.1.gz
  COMMAND ${GZIP_PROGRAM} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/docs/quorvel.1 > ${CMAKE_CURRENT_BINARY_DIR}/quorvel.1.gz
  DEPENDS docs/quorvel.1
  COMMENT "Compressing the manual page")
add_custom_target(quorvel_manpage ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/quorvel.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The reference directory's schema, for admins who try Quorvel on their own slapd.
install(FILES refdir/quorvel.schema DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel)
install(FILES packaging/README.schema DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel RENAME README)

# systemd: the services name the program by its installed path, which is only
# known when installing (cmake --install --prefix, or CPack's /usr).
install(CODE "
  set(_bindir \"${CMAKE_INSTALL_BINDIR}\")
  if(NOT IS_ABSOLUTE \"\${_bindir}\")
    set(_bindir \"\${CMAKE_INSTALL_PREFIX}/\${_bindir}\")
  endif()
  set(QUORVEL_BINARY \"\${_bindir}/quorvel\")
  foreach(_name quorvel@.service quorvel-follow@.service)
    set(_unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QUORVEL_SYSTEMD_UNITDIR}/\${_name}\")
    message(STATUS \"Installing: \${_unit}\")
    configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/packaging/\${_name}.in\" \"\${_unit}\" @ONLY)
    file(CHMOD \"\${_unit}\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
")
install(FILES packaging/quorvel@.timer DESTINATION ${QUORVEL_SYSTEMD_UNITDIR})

# The console's menu entry, when the console is part of the program.
if(TARGET quorvel_console)
  install(FILES packaging/quorvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
install(FILES packaging/quorvel.catalog DESTINATION ${QUORVEL_SYSTEMD_CATALOGDIR})

# --- the Debian package ---------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR KVOR)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(QUORVEL_PACKAGE_MAINTAINER "Quorvel maintainers <root@localhost>" CACHE STRING
    "The Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUORVEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # quorvel_<version>_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# CPack puts the summary in front of this as the synopsis line.
set(CPACK_PACKAGE_DESCRIPTION "Quorvel keeps query-defined distribution lists (DLs) in an LDAP directory
up to date: a DL (a groupOfNames entry) stores its own LDAP search, and
processing it rewrites the DL's members to match, in one write.
.
It runs unattended from a profile, scheduled by the quorvel@.timer systemd
unit or cron, or follows the directory's changes as quorvel-follow@.service,
and logs to the systemd journal.")
# Depends: from the libraries the program links (libldap, libsystemd, and Qt
# when the console is built in).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET quorvel_console)
  # Qt loads its display plugins at run time, where dpkg-shlibdeps cannot see them.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins")
endif()
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "ldap-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    "${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst;${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
