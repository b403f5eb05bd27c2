# The Debian package: `cpack` in a build folder makes setmara-bridge_<version>_<arch>.deb
# from the install rules. The program, its desktop entry and their files install under /usr,
# as a package has them; the desktop entry names the program by that path.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix, as in the Debian package" FORCE)
endif()

set(BRIDGE_MAINTAINER "Setmara <bridge@setmara.app>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME setmara-bridge)
set(CPACK_PACKAGE_VENDOR Setmara)
set(CPACK_PACKAGE_CONTACT ${BRIDGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tray bridge from a DJ's program to Setmara gigs")
# Lines under 80 characters, as Debian wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Setmara Bridge watches the program a DJ plays from (VirtualDJ, Spotify,"
  "Mixxx, What's Now Playing or Denon DJ players) and sends each song that has"
  "been on air for the share delay to the DJ's live gig on Setmara, where the"
  "dancers see it. Plays wait in a queue on disk while the bridge is offline,"
  "pairing links from Setmara open it, and it can start at login, in the tray.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time (QtKeychain's Secret Service backend, Qt's SVG image plugin for the
# icons, the system's certificate authorities in /etc/ssl/certs for HTTPS), so
# dpkg-shlibdeps cannot see them in the program.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsecret-1-0, libqt6svg6, ca-certificates")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# As Debian hardens its programs: immediate binding, so that relocations can be read-only,
add_link_options(LINKER:-z,relro,-z,now)
# and with the C library's checked string and memory functions where optimised.
add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo>:_FORTIFY_SOURCE=2>)

include(CPack)
