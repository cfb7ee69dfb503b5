# The program looks for its downloader and skin next to itself, so the
# programs, the downloader and the skin share one application folder; a
# link on the path starts it.
include(GNUInstallDirs)
set(QM_INSTALL_APPDIR lib/quillmarsh)

install(TARGETS quillmarsh quillmarsh-debug RUNTIME DESTINATION ${QM_INSTALL_APPDIR})
if(TARGET tarnfetch)
  install(TARGETS tarnfetch RUNTIME DESTINATION ${QM_INSTALL_APPDIR})
endif()
install(TARGETS quillmarsh-browser-host RUNTIME DESTINATION ${QM_INSTALL_APPDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/default.skn DESTINATION ${QM_INSTALL_APPDIR})
# tarnfetch checks the site extractor's releases against this key.
install(FILES ${CMAKE_SOURCE_DIR}/resources/yt-dlp-release-key.asc
        DESTINATION ${QM_INSTALL_APPDIR})

install(CODE "
  file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(CREATE_LINK ../${QM_INSTALL_APPDIR}/quillmarsh
       \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quillmarsh\" SYMBOLIC)")

# The browser extension, unpacked, and the manifests that let Firefox and
# the Chromium family start its host. The browsers read them from fixed
# system folders, which an installation under /usr fills; any other prefix
# keeps them below itself (scripts/install-browser-host.sh sets up one user).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/extension/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quillmarsh/browser-extension)
install(CODE "
  set(prefix \"\${CMAKE_INSTALL_PREFIX}\")
  set(etc \"\${prefix}/etc\")
  if(prefix STREQUAL \"/usr\")
    set(etc /etc)
  endif()
  set(HOST_PATH \"\${prefix}/${QM_INSTALL_APPDIR}/quillmarsh-browser-host\")
  set(name org.example.quillmarsh.json)
  configure_file(${CMAKE_SOURCE_DIR}/resources/browser/firefox-host.json.in
    \"\$ENV{DESTDIR}\${prefix}/lib/mozilla/native-messaging-hosts/\${name}\" @ONLY)
  foreach(dir chromium opt/chrome opt/edge)
    configure_file(${CMAKE_SOURCE_DIR}/resources/browser/chromium-host.json.in
      \"\$ENV{DESTDIR}\${etc}/\${dir}/native-messaging-hosts/\${name}\" @ONLY)
  endforeach()")

install(FILES ${CMAKE_SOURCE_DIR}/resources/org.example.Quillmarsh.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/org.example.Quillmarsh.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/resources/quillmarsh.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/quillmarsh-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quillmarsh.png)
endforeach()

# Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmarsh)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Quillmarsh Project <quillmarsh@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fetch videos from video pages and convert them")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)
# gpgv checks the site extractor's releases; python3 runs tarnfetch's own
# copy of it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, gpgv, python3")
# The site extractor: tarnfetch asks it for the video of pages it cannot
# read itself, and works without it. nodejs runs the JavaScript some sites
# need with current releases; publicsuffix keeps the list of where one
# site ends and the next begins current.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "yt-dlp, nodejs, publicsuffix")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
