# Installing: GNU folders under any prefix (/usr, /usr/local, ~/.local, a DESTDIR).
# The programs find their helpers from their own place, never from the build folder.
set(CMAKE_INSTALL_DOCDIR share/doc/quillory)
include(GNUInstallDirs)
set(QUILLORY_APP_ID io.github.quillory.Quillory)

# libexec seen from bin, compiled into the lookup of helper programs.
file(RELATIVE_PATH QUILLORY_LIBEXEC_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
  ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quillory)
set_property(SOURCE platform/Process.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  QUILLORY_LIBEXEC_FROM_BIN="${QUILLORY_LIBEXEC_FROM_BIN}")

# Dates in the man pages and the release notes: the package's date when it sets
# SOURCE_DATE_EPOCH, otherwise the day of the build.
string(TIMESTAMP QUILLORY_BUILD_DATE "%Y-%m-%d" UTC)

# The icon: every PNG size rendered from the one SVG.
find_program(QUILLORY_RSVG_CONVERT rsvg-convert REQUIRED)
set(QUILLORY_ICON_SIZES 16 24 32 48 64 128 256)
set(QUILLORY_ICON_PNGS)
foreach(size IN LISTS QUILLORY_ICON_SIZES)
  set(png ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/${QUILLORY_APP_ID}.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps
    COMMAND ${QUILLORY_RSVG_CONVERT} -w ${size} -h ${size} ${CMAKE_SOURCE_DIR}/res/icons/quillory.svg -o ${png}
    DEPENDS ${CMAKE_SOURCE_DIR}/res/icons/quillory.svg VERBATIM)
  list(APPEND QUILLORY_ICON_PNGS ${png})
endforeach()
add_custom_target(quillory_icons ALL DEPENDS ${QUILLORY_ICON_PNGS})
if(QUILLORY_WINDOW)
  # The windows show the same picture, built into the programs.
  set(icon ${CMAKE_BINARY_DIR}/icons/hicolor/256x256/apps/${QUILLORY_APP_ID}.png)
  set_source_files_properties(${icon} PROPERTIES QT_RESOURCE_ALIAS quillory.png)
  foreach(target quillory quillory-screenshots)
    qt_add_resources(${target} icon_${target} PREFIX /icons FILES ${icon})
  endforeach()
endif()

configure_file(res/${QUILLORY_APP_ID}.metainfo.xml.in ${CMAKE_BINARY_DIR}/res/${QUILLORY_APP_ID}.metainfo.xml @ONLY)
foreach(page quillory quillory-cli)
  configure_file(docs/${page}.1.in ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
endforeach()

install(TARGETS quillory-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(QUILLORY_WINDOW)
  install(TARGETS quillory RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS quillory-preview RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/quillory)
  install(FILES res/${QUILLORY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_BINARY_DIR}/res/${QUILLORY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  install(FILES ${CMAKE_BINARY_DIR}/man/quillory.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(DIRECTORY ${CMAKE_BINARY_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
  install(FILES res/icons/quillory.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
    RENAME ${QUILLORY_APP_ID}.svg)
endif()
install(FILES ${CMAKE_BINARY_DIR}/man/quillory-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES completion/quillory-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
  RENAME quillory-cli)
install(FILES completion/_quillory-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES completion/quillory-cli.fish DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
install(DIRECTORY examples/newsletter DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)
# The client-support data is compiled into the programs: its licence travels with them.
install(FILES third_party/caniemail/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME caniemail.LICENSE)

