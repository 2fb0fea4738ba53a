# Installation into a desktop and the Debian package.
#
# Included from the top-level CMakeLists.txt after the `corvane` target exists:
#     include(cmake/desktop.cmake)
# `cmake --install` puts the program, its desktop entry, AppStream metadata, icons, manual page
# and package documents under CMAKE_INSTALL_PREFIX; `cpack` in the build folder makes
# corvane_<version>_<arch>.deb with the same files under /usr.

include(GNUInstallDirs)

# The desktop entry's name without ".desktop". The program gives the same name to
# QGuiApplication::setDesktopFileName so that desktops match its window to the entry.
set(CORVANE_APP_ID "io.github.corvane.Corvane")

get_filename_component(CORVANE_DESKTOP_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CORVANE_PACKAGING_DIR "${CORVANE_DESKTOP_ROOT}/packaging")
set(CORVANE_ICON_DIR "${CORVANE_DESKTOP_ROOT}/resources/icons")

# Debian wants directories 0755 whatever the umask of the person building.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# qt_standard_project_setup() gives installed binaries a run path relative to $ORIGIN for
# bundled Qt libraries. Installed in /usr/bin the program uses the system's Qt, and Debian
# forbids such a run path in a package.
set_property(TARGET corvane PROPERTY INSTALL_RPATH "")
# Resolve every symbol at start so that the relocation table can be made read-only (RELRO).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    target_link_options(corvane PRIVATE "LINKER:-z,relro" "LINKER:-z,now")
endif()
install(TARGETS corvane RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")

install(FILES "${CORVANE_PACKAGING_DIR}/${CORVANE_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${CORVANE_PACKAGING_DIR}/${CORVANE_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# The PNGs are rendered from the SVGs by scripts/render_icons.sh and committed, so building
# needs no SVG renderer.
foreach(size IN ITEMS 16 32 48 256)
    install(FILES "${CORVANE_ICON_DIR}/hicolor/${size}/corvane.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps")
endforeach()
install(FILES "${CORVANE_ICON_DIR}/corvane.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# Manual page and changelog go in compressed. gzip -n leaves out the name and time stamp so
# that the same sources give the same package.
find_program(CORVANE_GZIP gzip REQUIRED)
set(CORVANE_PACKAGING_OUT "${CMAKE_CURRENT_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${CORVANE_PACKAGING_OUT}")
foreach(doc IN ITEMS corvane.1 changelog)
    execute_process(
        COMMAND "${CORVANE_GZIP}" -9 -n -c "${CORVANE_PACKAGING_DIR}/${doc}"
        OUTPUT_FILE "${CORVANE_PACKAGING_OUT}/${doc}.gz"
        COMMAND_ERROR_IS_FATAL ANY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CORVANE_PACKAGING_DIR}/${doc}")
endforeach()
install(FILES "${CORVANE_PACKAGING_OUT}/corvane.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${CORVANE_PACKAGING_DIR}/copyright" "${CORVANE_PACKAGING_OUT}/changelog.gz"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/corvane")

# Debian package
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "corvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Corvane developers")
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@example.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the HTML, CSS and JavaScript of a web page")
set(CPACK_PACKAGE_DESCRIPTION
    "Corvane is a small editor for the sources of one web page. Its window holds
three code panes, for HTML, CSS and JavaScript, and a browser pane beside
them that shows the HTML pane at the press of a button. It opens, saves and
prints plain-text files and formats the HTML pane's text on screen.
The user interface is in Chinese.")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "editors")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# dpkg-shlibdeps adds the libraries the binary links against, with their versions. The list
# below names what it cannot see: the plugins and helper process Qt loads at run time, Qt's own
# translations and the fonts for the Chinese interface. The encoding detector that Open uses and the
# regular expressions of the find bar are named as well.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6core6, libqt6gui6, libqt6widgets6, libqt6printsupport6, libqt6webenginecore6, \
libqt6webenginecore6-bin, libqt6webenginewidgets6, libqt6svg6, qt6-qpa-plugins, qt6-translations-l10n, \
fonts-noto-cjk, libuchardet0, libpcre2-16-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
