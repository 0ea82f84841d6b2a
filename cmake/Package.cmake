# The Debian package, made by `bash scripts/package.sh` (CPack's DEB
# generator): qarvenda_<version>-<revision>_<arch>.deb. The libraries it needs
# are worked out from the programs by dpkg-shlibdeps; what no program links but
# the window loads at run time is named here: the Chinese fonts it draws with,
# Qt's platform plugins, the SVG plugins that draw every picture of the window
# (tree, list header, tool bar, window icon) and Qt's Chinese translations of
# its standard dialogs and buttons.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qarvenda)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Qarvenda developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop reference book of Chinese places, postcodes and area codes")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QV_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QV_MAINTAINER}")
# The summary comes first by itself; CPack indents these lines.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Qarvenda keeps the name, the telephone area code and the postcode of every
place in China (for places abroad, the time difference), filed in a tree of
directories that you edit. Search by name, by pinyin initials, by postcode or
by area code; print, export and import lists. The interface is in Simplified
Chinese. Includes qarvenda-cli for the terminal and a user guide.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "fonts-wqy-microhei, fonts-arphic-ukai, fonts-arphic-uming, libqt6svg6, qt6-qpa-plugins, qt6-translations-l10n")
# Completion of qarvenda-cli in bash; the desktop opener and the desktop folder.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bash-completion, xdg-utils, xdg-user-dirs")
# Installing (and so cpack) takes what is built instead of building every
# target, tests included: scripts/package.sh builds just what is installed.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
