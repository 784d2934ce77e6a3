# Installing the station (cmake --install) and its Debian package (cpack).
#
# The station reads its label template beside its executable, so both live in the program's own
# folder (libexec/quillon); bin/quillon is a link to it. The tools go to bin.
include(GNUInstallDirs)

set(QUILLON_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quillon)
install(TARGETS quillon RUNTIME DESTINATION ${QUILLON_PROGRAM_DIR})
install(FILES src/labels/LabBarcodeLabel.rpt DESTINATION ${QUILLON_PROGRAM_DIR})
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${bin}\")
  file(RELATIVE_PATH target \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\"
       \"\${CMAKE_INSTALL_PREFIX}/${QUILLON_PROGRAM_DIR}/quillon\")
  file(CREATE_LINK \"\${target}\" \"\${bin}/quillon\" SYMBOLIC)
  message(STATUS \"Installing: \${bin}/quillon -> \${target}\")")
install(TARGETS quillon-labdb quillon-label RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES packaging/quillon.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/quillon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/quillon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
# The window's designed fonts are Windows fonts: mapped to metric-compatible free ones. With the
# prefix /usr (the presets' and the package's) the folder is /etc/fonts/conf.d.
install(FILES scripts/station-fonts.conf
        DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/fonts/conf.d
        RENAME 60-quillon-station-fonts.conf)
install(FILES README.md docs/architecture.md docs/lab-database.md docs/label-template.md
              labdb/labdb.sql
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Specimen barcode label station for hospital laboratories")
set(CPACK_PACKAGE_DESCRIPTION
    "A lab worker scans a charge slip; the station looks the request up in the laboratory's \
database, prints its specimen labels, records each printed barcode and keeps a daily print \
log. It can also print every new request by itself.")
set(CPACK_PACKAGE_CONTACT "Laboratory IT <labit@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Libraries it links come from dpkg-shlibdeps; the Qt plug-ins it loads are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-odbc, fontconfig")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "tdsodbc, cups-client, fonts-liberation2, fonts-crosextra-carlito, fonts-wine")
# A template the lab has edited survives an upgrade.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles
     "/usr/${QUILLON_PROGRAM_DIR}/LabBarcodeLabel.rpt\n"
     "/etc/fonts/conf.d/60-quillon-station-fonts.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles)
include(CPack)
