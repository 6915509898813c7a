# What `cmake --install` lays out, in one of two layouts (VSDL_INSTALL_LAYOUT):
#   folder  one program folder (make install): VSDownload and vsdl beside README.md, and under
#           share/ the icon, a desktop entry naming the folder and vsdl's bash completion.
#           scripts/install registers them for the user. The programs keep their settings in
#           the folder when they can write it.
#   system  the Debian package (make package): /usr/bin, the desktop entry, icon, man pages,
#           vsdl's bash completion and the documents under /usr/share. The programs never
#           write into /usr/bin.
set(VSDL_APP_DIR ${PROJECT_SOURCE_DIR}/src/app)

if(NOT VSDL_WITH_QT)
  install(TARGETS vsdl RUNTIME DESTINATION .)
  return()
endif()

if(NOT VSDL_INSTALL_LAYOUT STREQUAL "system")
  install(TARGETS VSDownload vsdl vsdl-plot RUNTIME DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  # Windows has no desktop entries: its icon lives in the executables.
  if(WIN32)
    return()
  endif()
  install(FILES ${VSDL_APP_DIR}/VSDownload.svg DESTINATION share RENAME vsdownload.svg)
  # scripts/install puts it where bash looks for the user's own completions.
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/vsdl.bash-completion DESTINATION share)
  # The entry names the folder the files end up in, so it is made at install time. Its name
  # says which folder it starts, beside the package's entry, which it never hides.
  install(CODE "
    set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(VSDL_NAME \"VSDownload (\${CMAKE_INSTALL_PREFIX})\")
    set(VSDL_EXEC \"\\\"\${CMAKE_INSTALL_PREFIX}/VSDownload\\\"\")
    set(VSDL_PATH_ENTRY \"Path=\${CMAKE_INSTALL_PREFIX}\")
    configure_file(\"${VSDL_APP_DIR}/VSDownload.desktop.in\"
                   \"\${folder}/share/vsdownload.desktop\" @ONLY)
    message(STATUS \"Installing: \${folder}/share/vsdownload.desktop\")
  ")
  return()
endif()

include(GNUInstallDirs)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

# The desktop entry, the metainfo and the program's desktop file name share one ID.
set(VSDL_DESKTOP_ID example.valdorsensing.vsdownload)
set(desktop ${packaging}/desktop)
set(VSDL_NAME VSDownload)
set(VSDL_EXEC VSDownload)
set(VSDL_PATH_ENTRY "")
configure_file(${VSDL_APP_DIR}/VSDownload.desktop.in ${generated}/${VSDL_DESKTOP_ID}.desktop
               @ONLY)

# The menu icons, rendered from the SVG at the sizes desktops look for.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icon_sizes 16 22 24 32 48 64 128 256)
set(icons)
foreach(size ${icon_sizes})
  add_custom_command(OUTPUT ${generated}/icons/${size}/vsdownload.png
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}
                     COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${VSDL_APP_DIR}/VSDownload.svg
                             -o ${generated}/icons/${size}/vsdownload.png
                     DEPENDS ${VSDL_APP_DIR}/VSDownload.svg VERBATIM)
  list(APPEND icons ${generated}/icons/${size}/vsdownload.png)
endforeach()

# The lower-case command and its man page, as links.
file(CREATE_LINK VSDownload ${generated}/vsdownload SYMBOLIC)
file(CREATE_LINK VSDownload.1.gz ${generated}/vsdownload.1.gz SYMBOLIC)

# Man pages and the changelog go compressed, as Debian has them (-n: no name or time inside,
# so the same sources give the same package).
set(compressed)
foreach(source vsdl.1 VSDownload.1 changelog)
  add_custom_command(OUTPUT ${generated}/${source}.gz
                     COMMAND gzip -9nc ${packaging}/${source} > ${generated}/${source}.gz
                     DEPENDS ${packaging}/${source} VERBATIM)
  list(APPEND compressed ${generated}/${source}.gz)
endforeach()
add_custom_target(vsdl_packaging_files ALL DEPENDS ${compressed} ${icons})

install(TARGETS VSDownload vsdl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# vsdl plot runs it from ../libexec/vsdownload beside vsdl's folder.
install(TARGETS vsdl-plot RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vsdownload)
install(FILES ${generated}/vsdownload DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${generated}/${VSDL_DESKTOP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop}/${VSDL_DESKTOP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop}/vsdownload-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME vsdownload.xml)
install(FILES ${VSDL_APP_DIR}/VSDownload.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME vsdownload.svg)
foreach(size ${icon_sizes})
  install(FILES ${generated}/icons/${size}/vsdownload.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${packaging}/vsdl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vsdl)
install(FILES ${generated}/vsdl.1.gz ${generated}/VSDownload.1.gz ${generated}/vsdownload.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The package has a Debian revision (2.1.0-1), so its changelog is the Debian one.
install(FILES ${generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vsdownload
        RENAME changelog.Debian.gz)
# For the package's users, the user guide; the README is the developers'.
install(FILES ${PROJECT_SOURCE_DIR}/docs/USER-GUIDE.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vsdownload
        RENAME user-guide.md)
install(FILES ${packaging}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/vsdownload)

include(${CMAKE_CURRENT_LIST_DIR}/Package.cmake)
