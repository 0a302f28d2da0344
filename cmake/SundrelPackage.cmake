# The Debian package, built by scripts/package (cpack -G DEB). Its library
# dependencies are computed from the installed programs by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME sundrel)
set(CPACK_PACKAGE_VENDOR Orvane)
set(CPACK_PACKAGE_CONTACT "Orvane <support@orvane.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "split PDF files into parts below a chosen size")
# Debian wants the lines of the long description below 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
  "Sundrel splits PDF files into parts that each stay below a chosen byte
size, for e-mail attachment limits and upload caps. Every part is measured
by really extracting it, never estimated, so each one fits. The window sets
the size, the output folder, a name pattern, document properties and
optional 128-bit encryption; sundrel-split runs the same split from scripts.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://orvane.com/sundrel")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's German texts for the file dialog and standard buttons; the window works without.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
include(CPack)
