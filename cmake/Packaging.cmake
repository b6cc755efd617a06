# Debian packages, built with `cpack -G DEB` in a build configured with the
# "package" preset (prefix /usr); scripts/test-package.sh builds, checks and
# installs them.
#
#   portprobe               the programs in /usr/lib/portprobe with their files,
#                           links in /usr/bin, desktop entries, metainfo, icons,
#                           manual pages, the udev rule (install component "portprobe")
#   portprobe-classlib-dev  the class library's headers, archive and CMake package
#                           (install component "classlib")
#   python3-portprobe       the Python package portprobe in Debian's Python path
#                           (install component "python")
#
# The Debian revision (-1) marks a package of an upstream release rather than
# a native Debian package, which is why the change log is changelog.Debian.gz.

set(PORTPROBE_DEB_SOURCE portprobe)
set(PORTPROBE_DEB_VERSION "${PROJECT_VERSION}-1")
set(PORTPROBE_MAINTAINER_EMAIL "packages@${_portprobe_host}")

# Copyright and change log, shipped in every package's documentation folder.
set(deb_doc_dir ${CMAKE_BINARY_DIR}/debian)
configure_file(resources/linux/debian/copyright.in ${deb_doc_dir}/copyright @ONLY)
configure_file(resources/linux/debian/changelog.in ${deb_doc_dir}/changelog.Debian @ONLY)
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(
  OUTPUT ${deb_doc_dir}/changelog.Debian.gz
  COMMAND ${GZIP_PROGRAM} -9nf -k ${deb_doc_dir}/changelog.Debian
  DEPENDS ${deb_doc_dir}/changelog.Debian
  VERBATIM)
add_custom_target(portprobe_debian_docs ALL DEPENDS ${deb_doc_dir}/changelog.Debian.gz)

function(portprobe_deb_docs component package)
  install(FILES ${deb_doc_dir}/copyright ${deb_doc_dir}/changelog.Debian.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
endfunction()

get_cmake_property(_portprobe_components COMPONENTS)
set(CPACK_COMPONENTS_ALL portprobe)
portprobe_deb_docs(portprobe portprobe)
if("classlib" IN_LIST _portprobe_components)
  list(APPEND CPACK_COMPONENTS_ALL classlib)
  portprobe_deb_docs(classlib portprobe-classlib-dev)
endif()
if("python" IN_LIST _portprobe_components)
  list(APPEND CPACK_COMPONENTS_ALL python)
  portprobe_deb_docs(python python3-portprobe)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME portprobe)
set(CPACK_PACKAGE_VENDOR "PORTPROBE developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "PORTPROBE developers <${PORTPROBE_MAINTAINER_EMAIL}>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "PORTPROBE developers <${PORTPROBE_MAINTAINER_EMAIL}>")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PORTPROBE_WEBSITE})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

# The programs. Their libraries come from the binaries (dpkg-shlibdeps);
# what they only name at run time is listed by hand:
#   fonts-ipafont-gothic  every control asks for IPA Gothic after "ＭＳ ゴシック"
#                         (a font is looked up by name, not linked)
#   xdg-utils             the manual, the error log and the web site open
#                         through xdg-open, started as a program
set(CPACK_DEBIAN_PORTPROBE_PACKAGE_NAME portprobe)
set(CPACK_DEBIAN_PORTPROBE_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PORTPROBE_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PORTPROBE_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PORTPROBE_PACKAGE_DEPENDS "fonts-ipafont-gothic, xdg-utils")
set(CPACK_DEBIAN_PORTPROBE_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/resources/linux/debian/postinst
    ${CMAKE_SOURCE_DIR}/resources/linux/debian/postrm)
set(CPACK_COMPONENT_PORTPROBE_DESCRIPTION
    "test console for a USB-IO board of the HID class
PORTPROBE drives the four outputs (Port1) and polls the eight inputs (Port0)
of a USB digital I/O board of the HID class, found by its vendor and product
IDs. Readings are shown as bits, a bar and decimal and hexadecimal values. The
user interface is in Japanese.
.
The package holds two programs: portprobe, for a real board through hidraw
(a udev rule gives the user at the seat access), and portprobe-demo, the same
console on a virtual board with LEDs, switches and a cable to pull.
.
portprobe-io sets and reads the same boards from scripts, test rigs and CI
jobs, with exit statuses to branch on and JSON output.")

# The class library for other programs: headers, static archive, CMake package.
set(CPACK_DEBIAN_CLASSLIB_PACKAGE_NAME portprobe-classlib-dev)
set(CPACK_DEBIAN_CLASSLIB_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_CLASSLIB_PACKAGE_SECTION libdevel)
# A static archive links nothing itself: its users link what it calls, and the
# CMake package finds those through find_dependency and pkg-config.
set(CPACK_DEBIAN_CLASSLIB_PACKAGE_DEPENDS
    "libglib2.0-dev, libsqlite3-dev, libssl-dev (>= 3), pkg-config")
set(CPACK_COMPONENT_CLASSLIB_DESCRIPTION
    "PORTPROBE class library (development files)
The general-purpose classes of PORTPROBE as a static C++ library: byte-wise
strings, paths, drives, a registry store and file encryption. Headers under
/usr/include/portprobe, the archive and a CMake package for
find_package(portprobe_classlib) with the target portprobe::classlib.")

# The Python package: an extension module for the one Python 3 version it was
# built against (its ABI tag is in the file name), its libraries from dpkg-shlibdeps.
# The udev rule that opens the board to the seat's user and the console's
# setting.ini come with portprobe, hence the recommendation.
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-portprobe)
set(CPACK_DEBIAN_PYTHON_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR}~), python3 (<< ${Python3_VERSION_MAJOR}.${PORTPROBE_PYTHON_NEXT_MINOR})")
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS portprobe)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS python3-pytest)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/resources/linux/debian/python3-portprobe/postinst
    ${CMAKE_SOURCE_DIR}/resources/linux/debian/python3-portprobe/prerm)
set(CPACK_COMPONENT_PYTHON_DESCRIPTION
    "USB-IO board from Python (PORTPROBE's device link)
The Python module portprobe drives the four outputs (Port1) and reads the
eight inputs (Port0) of a USB digital I/O board of the HID class through the
same device link as the PORTPROBE console and portprobe-io, with the link
kept open between calls, exceptions for a board not found, lost or not
accessible, and a watch iterator.
.
A virtual board that a test drives (inputs, outputs, unplugging, a board
that stops answering) comes with a pytest plugin and its fixture
virtual_board, so a rig's own tests run without hardware.")

include(CPack)
