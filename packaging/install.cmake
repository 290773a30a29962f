# Install rules and the Debian packages. The component "game" (the package
# morv): morv in bin/, its desktop entry, and the window icon as PNGs in the
# hicolor theme. The component "dev" (the package morv-dev): the runtime
# library, its program-facing headers, the CMake package and morv.pc.
# Included by the top CMakeLists.txt.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The icon PNGs are drawn at build time from the icon the window shows.
find_package(ZLIB REQUIRED)
add_executable(icon_png packaging/icon_png.cpp runtime/display/icon.cpp)
target_include_directories(icon_png PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(icon_png PRIVATE PkgConfig::MORV_SDL ZLIB::ZLIB)
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
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps COMPONENT game)
endforeach()
add_custom_target(morv_icons ALL DEPENDS ${icon_files})

install(TARGETS morv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT game)
install(FILES packaging/morv.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT game)

# --- The runtime for programs built on it ------------------------------------
# Static only: the runtime is one process's machinery (three threads, global
# tables, the --wrap check of SDL's calls), which a shared library would not
# make shareable, and a static link keeps a program's link options the whole
# story. The input-method functions are exported from the program as the
# examples export them, so plug-ins find them by name.
file(STRINGS runtime/input/ime/input_method.h morv_ime_lines REGEX "^MORV_EXPORT ")
set(MORV_IME_EXPORTS)
foreach(line ${morv_ime_lines})
  string(REGEX REPLACE ".* (InputMethod_[A-Za-z]+)\\(.*" "\\1" name "${line}")
  list(APPEND MORV_IME_EXPORTS ${name})
  target_link_options(morvrt INTERFACE "$<INSTALL_INTERFACE:LINKER:--export-dynamic-symbol=${name}>")
endforeach()
set(MORV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/morv)
install(TARGETS morvrt EXPORT morvTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(DIRECTORY ${CMAKE_BINARY_DIR}/include/morv DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT morvTargets NAMESPACE morv:: DESTINATION ${MORV_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/morvConfig.cmake.in ${CMAKE_BINARY_DIR}/packaging/morvConfig.cmake
                              INSTALL_DESTINATION ${MORV_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/morvConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/packaging/morvConfig.cmake ${CMAKE_BINARY_DIR}/packaging/morvConfigVersion.cmake
        DESTINATION ${MORV_CMAKE_DIR} COMPONENT dev)

# morv.pc: the same through pkg-config, found relative to where it lies.
file(RELATIVE_PATH MORV_PC_PREFIX_FROM_PCFILEDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
list(JOIN MORV_SDL_MODULES " " morv_pc_sdl)
list(JOIN MORV_X11_MODULES " " morv_pc_x11)
list(JOIN MORV_FONTCONFIG_MODULES " " morv_pc_fontconfig)
list(JOIN MORV_ZLIB_MODULES " " morv_pc_zlib)
set(MORV_PC_REQUIRES "${morv_pc_sdl} ${morv_pc_x11} ${morv_pc_fontconfig} ${morv_pc_zlib}")
set(MORV_PC_LINK_OPTIONS)
foreach(call ${MORV_EVENT_THREAD_CALLS})
  string(APPEND MORV_PC_LINK_OPTIONS " -Wl,--wrap=${call}")
endforeach()
foreach(name ${MORV_IME_EXPORTS})
  string(APPEND MORV_PC_LINK_OPTIONS " -Wl,--export-dynamic-symbol=${name}")
endforeach()
string(STRIP "${MORV_PC_LINK_OPTIONS}" MORV_PC_LINK_OPTIONS)
configure_file(cmake/morv.pc.in ${CMAKE_BINARY_DIR}/packaging/morv.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/morv.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

set(MORV_PACKAGE_MAINTAINER "MORV maintainers <maintainers@users.noreply.c-seed-fdfdf49f.example>"
    CACHE STRING "The Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "MORV")
set(CPACK_PACKAGE_CONTACT "${MORV_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tic-tac-toe on the three floors of a cube")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL game dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${MORV_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# The game: morv.
set(CPACK_DEBIAN_GAME_PACKAGE_NAME morv)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
set(CPACK_COMPONENT_GAME_DESCRIPTION
    "tic-tac-toe on the three floors of a cube\n\
MORV is tic-tac-toe played on the three 3 x 3 floors of a cube at once: three in a line on one floor, \
or through the floors, wins. One player plays against the computer, or two share one keyboard; optional \
powerups change a move. It runs in a 640 x 400 window on its own PC-style screen runtime.")
# Depends come from the libraries morv links to (dpkg-shlibdeps): the SDL 1.2
# libraries, X11 and the C++ runtime by their Debian package names.
set(CPACK_DEBIAN_GAME_PACKAGE_SHLIBDEPS ON)
# The shared library's symbols file names the classic SDL 1.2 package, which apt
# would pick; the runtime is built and tested on sdl12-compat (its keys, lock
# keys and scan codes differ), so that one is named too.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "libsdl1.2-compat-shim (>= 1.2.60)")

# The runtime for programmers: morv-dev. A static library links nothing by
# itself, so its Depends are the -dev packages a program's link needs.
set(CPACK_DEBIAN_DEV_PACKAGE_NAME morv-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
    "libsdl1.2-compat-dev (>= 1.2.60), libsdl-ttf2.0-dev, libsdl-image1.2-dev, libsdl-mixer1.2-dev, \
libsdl-net1.2-dev, libx11-dev, libxtst-dev, libfontconfig-dev, zlib1g-dev, pkg-config")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "MORV's runtime for programs of your own\n\
The static library libmorvrt, its headers (morv/runtime.h), a CMake package (find_package(morv) gives \
morv::runtime) and a pkg-config file (morv.pc): a PC-style text and graphics screen, keyboard buffer, mouse, \
game controllers, tones and sound files, files, serial ports, TCP/IP, shell, clipboard and printing in an \
SDL 1.2 window.")
include(CPack)
