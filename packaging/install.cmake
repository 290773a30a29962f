# Install rules and the Debian package: morv in bin/, its desktop entry, and the
# window icon as PNGs in the hicolor theme. Included by the top CMakeLists.txt.
include(GNUInstallDirs)

# The icon PNGs are drawn at build time from the icon the window shows.
find_package(ZLIB REQUIRED)
add_executable(icon_png packaging/icon_png.cpp runtime/display/icon.cpp)
target_include_directories(icon_png PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(icon_png PRIVATE PkgConfig::SDL ZLIB::ZLIB)
set(MORV_ICON_SIZES 32 256)
set(icon_files)
foreach(size ${MORV_ICON_SIZES})
  set(png ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}/morv.png)
  add_custom_command(OUTPUT ${png}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging/icons/${size}x${size}
                     COMMAND icon_png ${size} ${png}
                     DEPENDS icon_png
                     COMMENT "Drawing the ${size} x ${size} icon")
  list(APPEND icon_files ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(morv_icons ALL DEPENDS ${icon_files})

install(TARGETS morv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES packaging/morv.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(MORV_PACKAGE_MAINTAINER "MORV maintainers <maintainers@users.noreply.c-seed-fdfdf49f.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morv)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_VENDOR "MORV")
set(CPACK_PACKAGE_CONTACT "${MORV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tic-tac-toe on the three floors of a cube")
set(CPACK_PACKAGE_DESCRIPTION
    "MORV is tic-tac-toe played on the three 3 x 3 floors of a cube at once: three in a line on one floor, \
or through the floors, wins. One player plays against the computer, or two share one keyboard; optional \
powerups change a move. It runs in a 640 x 400 window on its own PC-style screen runtime.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MORV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends come from the libraries morv links to (dpkg-shlibdeps): the SDL 1.2
# libraries, X11 and the C++ runtime by their Debian package names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shared library's symbols file names the classic SDL 1.2 package, which apt
# would pick; the runtime is built and tested on sdl12-compat (its keys, lock
# keys and scan codes differ), so that one is named too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libsdl1.2-compat-shim (>= 1.2.60)")
include(CPack)
