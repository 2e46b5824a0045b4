# The Debian package, made by CPack from what `cmake --install` installs:
#
#   cmake --build build
#   cpack --config build/CPackConfig.cmake -G DEB -B build/packages
#
# gives build/packages/kestrune_<version>_<arch>.deb (`cmake --build build
# --target package` does both, into build/). Everything any install() rule of the
# tree puts under the prefix goes in; the prefix is /usr, so the keyboard's
# udev rule lands in /usr/lib/udev/rules.d (see src/device/hid).

# The home page is the one the main window links to.
set(KST_PACKAGE_MAINTAINER "Kestrune developers <kestrune@example.com>"
    CACHE STRING "Maintainer field of the Debian package")
set(KST_PACKAGE_HOMEPAGE "https://example.com/z-ormit-m350rgb"
    CACHE STRING "Homepage field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "Kestrune developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KST_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for the Z-ORMIT M350RGB gaming keyboard")
set(CPACK_PACKAGE_DESCRIPTION
    "Remaps the keys and the eighteen G keys of the Z-ORMIT M350RGB keyboard,\n\
records and edits macros, sets the per-key RGB lighting of each of its four\n\
profiles, switches profiles, and exports and imports the whole configuration\n\
held in the keyboard. Lives in the notification area. Includes a simulated\n\
keyboard to try it without the hardware, and a udev rule that lets the user\n\
at the seat open the keyboard without root.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Release binaries without their debugging sections: a fraction of the size,
# and no paths of the machine that built them.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_IGNORE_FILES "/build[^/]*/;/\\\\.git/")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KST_PACKAGE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KST_PACKAGE_MAINTAINER}")
# The rule is read by udev; the launcher icon belongs to the hicolor theme.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev, hicolor-icon-theme")

# dpkg-shlibdeps (dpkg-dev) works the dependencies out of the binaries,
# the service libraries included (they are loaded at run time, but ship in
# the package and are scanned as its own). Without it, the names on this
# Debian release stand in.
find_program(KST_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KST_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libqt6core6, libqt6gui6, libqt6widgets6, libqt6network6, libhidapi-hidraw0, libudev1")
endif()

# The maintainer scripts make udev read the rule and apply it to a keyboard
# already plugged in; they never fail the install.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

