# The Windows build's own parts: version resources in the executables, the runtime (Qt's DLLs and
# plugins, MinGW's and zint's DLLs) copied beside quillon.exe so that the build tree runs as it
# is, and the installer build/mingw/quillon.msi made by wixl (target "msi").
foreach(target quillon quillon-labdb quillon-label)
  set(description "Quillon specimen barcode labels")
  if(NOT target STREQUAL quillon)
    set(description "Quillon ${target}")
  endif()
  configure_file(${CMAKE_CURRENT_LIST_DIR}/version.rc.in ${PROJECT_BINARY_DIR}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/${target}.rc)
endforeach()

set(deps ${QUILLON_MINGW_DEPS})
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libssp-0.dll
                OUTPUT_VARIABLE ssp_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
set(runtime_dlls ${deps}/bin/Qt6Core.dll ${deps}/bin/Qt6Gui.dll ${deps}/bin/Qt6Widgets.dll
    ${deps}/bin/Qt6Sql.dll ${deps}/bin/Qt6PrintSupport.dll ${deps}/bin/Qt6Network.dll
    ${deps}/bin/libzint.dll ${deps}/bin/libstdc++-6.dll ${deps}/bin/libgcc_s_seh-1.dll
    ${deps}/bin/libwinpthread-1.dll ${ssp_dll})
# quillon.exe --check draws the label off screen (qoffscreen), with or without a display.
set(plugins platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll
    sqldrivers/qsqlite.dll sqldrivers/qsqlodbc.dll imageformats/qgif.dll imageformats/qico.dll
    imageformats/qjpeg.dll)
# The tests run without a display; never installed.
set(test_plugins platforms/qminimal.dll)
set(test_dlls ${deps}/bin/Qt6Test.dll)

set(copies)
foreach(dll ${runtime_dlls} ${test_dlls})
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different ${dll} ${PROJECT_BINARY_DIR})
endforeach()
foreach(plugin ${plugins} ${test_plugins})
  get_filename_component(folder ${plugin} DIRECTORY)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/${folder}
       COMMAND ${CMAKE_COMMAND} -E copy_if_different ${deps}/plugins/${plugin}
               ${PROJECT_BINARY_DIR}/${folder})
endforeach()
add_custom_target(windows_runtime ${copies} VERBATIM)
add_dependencies(quillon windows_runtime)

# cmd.exe reads its scripts with CR LF line ends.
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillon-kiosk.cmd ${PROJECT_BINARY_DIR}/quillon-kiosk.cmd
               @ONLY NEWLINE_STYLE CRLF)

# The installer's file list, one component per file.
set(PROGRAM_FILES "")
set(COMPONENT_REFS "")
set(index 0)
function(quillon_msi_file var source)
  math(EXPR n "${index} + 1")
  set(index ${n} PARENT_SCOPE)
  get_filename_component(name ${source} NAME)
  # wixl finds only paths relative to where it runs.
  file(RELATIVE_PATH source ${PROJECT_BINARY_DIR} ${source})
  set(${var} "${${var}}          <Component Id=\"c${n}\" Guid=\"*\" Win64=\"yes\"><File Id=\"f${n}\" Name=\"${name}\" Source=\"${source}\" KeyPath=\"yes\"/></Component>\n" PARENT_SCOPE)
  set(COMPONENT_REFS "${COMPONENT_REFS}      <ComponentRef Id=\"c${n}\"/>\n" PARENT_SCOPE)
endfunction()
foreach(file ${PROJECT_BINARY_DIR}/quillon.exe ${PROJECT_BINARY_DIR}/labdb/quillon-labdb.exe
        ${PROJECT_BINARY_DIR}/tools/quillon-label.exe ${PROJECT_SOURCE_DIR}/src/labels/LabBarcodeLabel.rpt
        ${PROJECT_BINARY_DIR}/quillon-kiosk.cmd ${runtime_dlls})
  quillon_msi_file(PROGRAM_FILES ${file})
endforeach()
set(PLUGIN_FOLDERS "")
foreach(folder platforms styles sqldrivers imageformats)
  set(entries "")
  foreach(plugin ${plugins})
    if(plugin MATCHES "^${folder}/")
      quillon_msi_file(entries ${deps}/plugins/${plugin})
    endif()
  endforeach()
  string(APPEND PLUGIN_FOLDERS "          <Directory Id=\"d_${folder}\" Name=\"${folder}\">\n${entries}          </Directory>\n")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillon.wxs.in ${PROJECT_BINARY_DIR}/quillon.wxs @ONLY)

find_program(WIXL wixl)
add_custom_target(msi
  COMMAND ${WIXL} --arch x64 -o ${PROJECT_BINARY_DIR}/quillon.msi ${PROJECT_BINARY_DIR}/quillon.wxs
  DEPENDS ${PROJECT_BINARY_DIR}/quillon.wxs WORKING_DIRECTORY ${PROJECT_BINARY_DIR} COMMENT "Making quillon.msi" VERBATIM)
add_dependencies(msi quillon quillon-labdb quillon-label)
