# `cpack -G DEB` (in the build folder) makes a Debian package of what `cmake --install` puts in
# place. Its dependencies are named here rather than worked out by dpkg-shlibdeps, so that the
# package builds on a machine without the Debian helper scripts.
set(CPACK_PACKAGE_NAME sieveclaw)
set(CPACK_PACKAGE_VENDOR "The Sieveclaw developers")
set(CPACK_PACKAGE_CONTACT "Sieveclaw developers <sieveclaw@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Mail filter that deletes spam on POP3 servers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6, libstdc++6, libssl3, libqt6widgets6, libqt6gui6, libqt6network6, libqt6svg6, libqt6multimedia6, libxcb1, qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Mail filter that deletes spam on POP3 servers\n Sieveclaw logs on to every POP3 account at a fixed interval, reads every header,\n downloads each new message, judges it against your lists, deletes spam on the\n server and keeps a local copy of everything it judged. The desktop program lives\n in the tray; sieveclaw-cli does the same without windows.")
include(CPack)
