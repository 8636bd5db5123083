# What `cmake --install` puts in place, and the Debian package CPack makes
# of it (`cpack -G DEB` in the build folder). Every path is relative to the
# prefix: the desktop program finds its manual beside itself
# (../share/doc/tallyhawk/manual), so any prefix works.
include(GNUInstallDirs)

set(TALLYHAWK_METAINFO_HOMEPAGE "https://www.brindlecote.example/tallyhawk/" CACHE STRING
    "The home page named in the AppStream metadata")
set(TALLYHAWK_SCREENSHOT_URL "https://www.brindlecote.example/tallyhawk/main-window.png" CACHE STRING
    "The screenshot named in the AppStream metadata (AppStream wants an address, not a file)")

set(TALLYHAWK_APP_ID example.brindlecote.Tallyhawk)
set(linux ${PROJECT_SOURCE_DIR}/res/linux)
set(docdir ${CMAKE_INSTALL_DATADIR}/doc/tallyhawk)

install(TARGETS tallyhawk-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Manual pages, compressed as Debian wants them, with the version filled in.
set(man_pages tallyhawk-cli)
if(TALLYHAWK_BUILD_GUI)
  list(APPEND man_pages tallyhawk)
endif()
foreach(page ${man_pages})
  configure_file(${linux}/${page}.1 ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1 @ONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz
    COMMAND gzip -9 -n -c ${page}.1 > ${page}.1.gz
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/man
    DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1)
  list(APPEND man_files ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1.gz)
endforeach()
add_custom_target(tallyhawk_man_pages ALL DEPENDS ${man_files})
install(FILES ${man_files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(FILES ${linux}/tallyhawk-cli.bash
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME tallyhawk-cli)
# The checks from cron or a systemd timer: user units, found by systemd in
# PREFIX/lib/systemd/user.
install(FILES ${PROJECT_SOURCE_DIR}/res/systemd/tallyhawk-check.service
              ${PROJECT_SOURCE_DIR}/res/systemd/tallyhawk-check.timer
        DESTINATION lib/systemd/user)
install(FILES ${PROJECT_SOURCE_DIR}/res/systemd/check.env.example DESTINATION ${docdir}/examples)
install(FILES ${PROJECT_SOURCE_DIR}/res/examples/example.wat DESTINATION ${docdir}/examples)
# The default chime as a file too, where the sound chooser starts.
install(FILES ${PROJECT_SOURCE_DIR}/res/chime.wav DESTINATION ${CMAKE_INSTALL_DATADIR}/sounds/tallyhawk)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/res/manual/ DESTINATION ${docdir}/manual)
install(FILES ${linux}/copyright DESTINATION ${docdir})
configure_file(${linux}/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9 -n -c changelog > changelog.gz
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_target(tallyhawk_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION ${docdir})

if(TALLYHAWK_BUILD_GUI)
  install(TARGETS tallyhawk RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${linux}/${TALLYHAWK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${linux}/tallyhawk-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
          RENAME tallyhawk.xml)
  configure_file(${linux}/${TALLYHAWK_APP_ID}.metainfo.xml.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${TALLYHAWK_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${TALLYHAWK_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # Program icon under apps/, document icon under mimetypes/ named after the
  # type, both drawn at every usual size and as SVG.
  set(icons ${PROJECT_SOURCE_DIR}/res/icons)
  set(hicolor ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${icons}/hicolor/${size}x${size}/apps/tallyhawk.png
            DESTINATION ${hicolor}/${size}x${size}/apps)
    install(FILES ${icons}/hicolor/${size}x${size}/apps/tallyhawk-document.png
            DESTINATION ${hicolor}/${size}x${size}/mimetypes
            RENAME application-x-tallyhawk-document.png)
  endforeach()
  install(FILES ${icons}/program.svg DESTINATION ${hicolor}/scalable/apps RENAME tallyhawk.svg)
  install(FILES ${icons}/document.svg DESTINATION ${hicolor}/scalable/mimetypes
          RENAME application-x-tallyhawk-document.svg)
endif()

# ---- The Debian package ----
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallyhawk)
set(CPACK_PACKAGE_VENDOR Brindlecote)
set(CPACK_PACKAGE_CONTACT "Brindlecote <tallyhawk@brindlecote.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch web pages and see what changed")
# CPack puts the summary above this text.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Tallyhawk keeps a list of web pages and checks each one on its own\n\
schedule. When a page changes it plays a sound, flashes its tray icon and\n\
shows a notification; it shows the added or deleted text, the added or\n\
deleted HTML lines, or the new page with the changed text highlighted.\n\
.\n\
The package holds the desktop program tallyhawk and tallyhawk-cli, the\n\
same checks for servers, scripts, cron and systemd timers.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries opened when first needed rather than linked
# (cmake/RuntimeLibrary.cmake) are named here.
get_property(runtime_packages GLOBAL PROPERTY TALLYHAWK_RUNTIME_PACKAGES)
# SQLite is opened by both the import and the history.
list(REMOVE_DUPLICATES runtime_packages)
# xdg-open opens the change files, the pages and the viewer "notepad.exe"
# stands for: without it viewing changes fails.
list(APPEND runtime_packages xdg-utils)
list(JOIN runtime_packages ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# Recommends: what plays the sound on a desktop.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-bin | pulseaudio-utils | alsa-utils")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TALLYHAWK_METAINFO_HOMEPAGE}")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
# The trees CPack makes are owned by root with the usual modes.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
