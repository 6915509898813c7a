# The Debian package vsdownload_<version>_<arch>.deb, made by CPack from the system layout
# (scripts/package). The dependencies come from the binaries (dpkg-shlibdeps).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vsdownload)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The Debian revision: 2.1.0-1 is the first package of the program's 2.1.0.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_CONTACT "VSDownload developers <vsdownload@valdorsensing.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.valdorsensing.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download and convert the fluorometer's data logger")
# CPack puts the summary first and indents these lines; an empty line separates paragraphs.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "VSDownload gets the logged readings out of the internal data logger of the
Model 62-RV fluorometer: it downloads the logger memory over a serial port
in checksummed blocks and saves it as a BIN memory image, and converts a BIN
image into a fixed-layout text report (PRN) and a comma-separated file (CSV).

The package holds the desktop program VSDownload and the command-line tool
vsdl, which converts, downloads and simulates the instrument without windows.")
include(CPack)
