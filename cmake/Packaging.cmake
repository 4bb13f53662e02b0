# `cpack -G DEB` in a build folder: a Debian package of what `cmake --install` lays out, under
# /usr, depending on exactly the shared libraries the binary links (dpkg-shlibdeps).

set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR Tamberlin)
set(CPACK_PACKAGE_CONTACT "Tamberlin <corvane@tamberlin.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Wrapped by hand: the Debian control file shows these lines as they are.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "The Touch Bar of a Mac laptop sometimes freezes. Corvane fixes it with one"
    "button: it restarts the Touch Bar's system services, checks that they came"
    "back, clears the Touch Bar's preferences and restarts the Dock. On a Linux"
    "Touch Bar laptop it restarts tiny-dfr, the daemon that draws the Touch Bar."
    "On a computer without a Touch Bar it says so and changes nothing.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Every probe and termination runs pgrep, pkill or ps; without them each fails and the window
# says there is no Touch Bar. dpkg-shlibdeps adds the libraries to this.
set(CPACK_DEBIAN_PACKAGE_DEPENDS procps)
# The alert titles carry emoji (✅ ❌ ⚠️), which show as boxes without a colour emoji font.
# "Restart as Administrator" runs /usr/bin/pkexec, a package apart from polkit since Debian 12
# (Ubuntu 23.04); older releases ship it in policykit-1.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-color-emoji, pkexec | policykit-1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
