# The Debian package: `cpack -G DEB` in the build folder writes ombrilo_<version>_amd64.deb.
# Its dependencies are computed from the programs by dpkg-shlibdeps (Debian package dpkg-dev).

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ombrilo)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Ombrilo")
set(CPACK_PACKAGE_CONTACT "Ombrilo developers <ombrilo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "explorer of filled Julia sets of z^2 + c")
set(CPACK_PACKAGE_DESCRIPTION
    "Ombrilo shows the filled Julia set of z -> z^2 + C for a constant C that you\n\
change with sliders, step buttons and an animation. You move and zoom the view\n\
with mouse tools, shape the colours with a six-level palette, keep fractals and\n\
palettes in small files of the program's own, export big BMP or PNG images\n\
in the background and watch the stored fractals as a full-screen slide show.\n\
The program speaks Russian. ombrilo-render draws the same pictures without a\n\
window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://ombrilo.example.org/")
# The toolkit's Russian button texts; without them the buttons read in English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)

include(CPack)
