# Installing the station (cmake --install) and its Debian package (cpack).
#
# Programs and shared data go under the prefix (the package's is /usr, whatever prefix the build
# was configured with); the lab's configuration goes to /etc, where the station looks for it, so
# an edited template is a conffile that an upgrade keeps. The maintainer scripts make the group
# "quillon" and the shared print-log folder /var/lib/quillon/PrintLog, and register the "FreeTDS"
# ODBC driver.
include(GNUInstallDirs)

install(TARGETS quillon quillon-labdb quillon-label RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(PROGRAMS packaging/quillon-kiosk DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quillon)
install(FILES packaging/quillon-kiosk.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon)
install(FILES src/labels/LabBarcodeLabel.rpt DESTINATION /etc/quillon)
install(FILES packaging/quillon.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/quillon.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES packaging/quillon.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps)
# The window's designed fonts are Windows fonts: mapped to metric-compatible free ones.
install(FILES scripts/station-fonts.conf DESTINATION /etc/fonts/conf.d
        RENAME 60-quillon-station-fonts.conf)
install(FILES README.md docs/administration.md docs/architecture.md docs/lab-database.md
              docs/label-template.md labdb/labdb.sql packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Manual pages and the changelog, compressed as Debian wants them (gzip -9n: no name, no time).
set(compressed)
foreach(source IN ITEMS man/quillon.1 man/quillon-labdb.1 man/quillon-label.1 changelog)
  get_filename_component(name ${source} NAME)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/packaging
    COMMAND gzip -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${source} > ${output}
    DEPENDS packaging/${source} VERBATIM)
  list(APPEND compressed ${output})
endforeach()
add_custom_target(quillon_package_files ALL DEPENDS ${compressed})
list(POP_BACK compressed changelog)
install(FILES ${compressed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${changelog} DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "specimen barcode label station for hospital laboratories")
# The summary is the synopsis line; this is the extended description, wrapped for dpkg.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A lab worker scans a charge slip; the station looks the request up in the
laboratory's database, prints its specimen labels, records each printed barcode
and keeps a daily print log. It can also print every new request by itself.
Its check mode tells an administrator what is wrong with a station's set-up.")
set(CPACK_PACKAGE_CONTACT "Laboratory IT <labit@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries it links come from dpkg-shlibdeps; the Qt plug-ins it loads are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# tdsodbc and odbcinst: the SQL Server road's driver, which postinst registers when it is not.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6sql6-sqlite, libqt6sql6-odbc, tdsodbc, odbcinst, qt6-qpa-plugins, fontconfig, adduser")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "cups-client, fonts-liberation2, fonts-crosextra-carlito, fonts-wine")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/conffiles
     "/etc/quillon/LabBarcodeLabel.rpt\n"
     "/etc/fonts/conf.d/60-quillon-station-fonts.conf\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/conffiles
    ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postinst ${CMAKE_CURRENT_SOURCE_DIR}/packaging/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
