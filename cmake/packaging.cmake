# Installing vorbel into a prefix (cmake --install) and the Debian package made from
# it (cpack -G DEB, or ./package.sh). Included by the top-level CMakeLists.txt once the
# vorbel target exists.
#
#   games/vorbel                       the launcher: runs the game in the player's folder
#   lib/games/vorbel/vorbel            the game itself, never started directly
#   share/games/vorbel/assets/         models, shaders, sounds, texture, style and font
#   share/applications/vorbel.desktop, share/icons/hicolor/*/apps/vorbel.png,
#   share/metainfo/vorbel.metainfo.xml, share/man/man6/vorbel.6.gz,
#   share/doc/vorbel/{copyright,changelog.gz}

# The day of this version's release, for the man page, the metainfo and the changelog.
set(VORBEL_RELEASE_DATE 2026-12-08)

# The changelog's form of that day, with the day of the week it fell on (Sakamoto's method).
string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" date_ok "${VORBEL_RELEASE_DATE}")
if(NOT date_ok)
  message(FATAL_ERROR "VORBEL_RELEASE_DATE must read YYYY-MM-DD, not ${VORBEL_RELEASE_DATE}")
endif()
set(VORBEL_COPYRIGHT_YEAR ${CMAKE_MATCH_1})
math(EXPR year "${CMAKE_MATCH_1}")
math(EXPR month "1${CMAKE_MATCH_2} - 100")
math(EXPR day "1${CMAKE_MATCH_3} - 100")
set(month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
math(EXPR m0 "${month} - 1")
list(GET month_offsets ${m0} offset)
if(month LESS 3)
  math(EXPR year "${year} - 1")
endif()
math(EXPR weekday "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
set(weekdays Sun Mon Tue Wed Thu Fri Sat)
set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET weekdays ${weekday} weekday)
list(GET months ${m0} month_name)
set(VORBEL_RELEASE_DATE_RFC2822 "${weekday}, ${CMAKE_MATCH_3} ${month_name} ${CMAKE_MATCH_1} 00:00:00 +0000")

set(VORBEL_INSTALL_LIBDIR lib/games/vorbel)
set(VORBEL_INSTALL_DATADIR share/games/vorbel)
# Debian's file modes, whatever the umask of the machine that builds the package.
# Everything below without a component of its own is the game's package.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME game)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VORBEL_FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(CPACK_PACKAGE_CONTACT "vorbel developers <vorbel@example.org>")

set(pkg ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${pkg})
configure_file(${CMAKE_SOURCE_DIR}/packaging/vorbel.in ${pkg}/vorbel @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/vorbel.metainfo.xml.in ${pkg}/vorbel.metainfo.xml @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/vorbel.6.in ${pkg}/vorbel.6 @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${pkg}/changelog @ONLY)

# The copyright file carries the font's licence text, which set-up fetches with the font.
set(font_licence ${CMAKE_SOURCE_DIR}/assets/fonts/GloriaHallelujah-OFL.txt)
if(EXISTS ${font_licence})
  file(READ ${font_licence} VORBEL_FONT_LICENCE)
  # The copyright format's continuation lines: one space in front, "." for a blank line.
  string(REGEX REPLACE "[ \t\r]*\n" "\n" VORBEL_FONT_LICENCE "${VORBEL_FONT_LICENCE}")
  string(STRIP "${VORBEL_FONT_LICENCE}" VORBEL_FONT_LICENCE)
  string(REGEX REPLACE "\n\n+" "\n.\n" VORBEL_FONT_LICENCE "${VORBEL_FONT_LICENCE}")
  string(REPLACE "\n" "\n " VORBEL_FONT_LICENCE " ${VORBEL_FONT_LICENCE}")
  configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${pkg}/copyright @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${font_licence})
else()
  message(STATUS "packaging: ${font_licence} is missing; run scripts/setup.sh before installing")
endif()

# Debian wants the man page and the changelog compressed, without a time stamp.
find_program(VORBEL_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${pkg}/vorbel.6.gz ${pkg}/changelog.gz
                   COMMAND ${VORBEL_GZIP} -9nc ${pkg}/vorbel.6 > ${pkg}/vorbel.6.gz
                   COMMAND ${VORBEL_GZIP} -9nc ${pkg}/changelog > ${pkg}/changelog.gz
                   DEPENDS ${pkg}/vorbel.6 ${pkg}/changelog
                   VERBATIM)
add_custom_target(vorbel_packaging_files ALL DEPENDS ${pkg}/vorbel.6.gz ${pkg}/changelog.gz)

install(TARGETS vorbel RUNTIME DESTINATION ${VORBEL_INSTALL_LIBDIR})
install(PROGRAMS ${pkg}/vorbel DESTINATION games)
# The font is fetched at set-up, not kept in git: named here so that a missing one
# fails the install instead of making a game without its menus' font.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/assets/ DESTINATION ${VORBEL_INSTALL_DATADIR}/assets
        FILE_PERMISSIONS ${VORBEL_FILE_PERMISSIONS}
        PATTERN fonts EXCLUDE)
install(FILES ${CMAKE_SOURCE_DIR}/assets/fonts/GloriaHallelujah-Regular.ttf ${font_licence}
        DESTINATION ${VORBEL_INSTALL_DATADIR}/assets/fonts)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/vorbel.desktop DESTINATION share/applications)
foreach(size 48 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/icons/vorbel-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME vorbel.png)
endforeach()
install(FILES ${pkg}/vorbel.metainfo.xml DESTINATION share/metainfo)
install(FILES ${pkg}/vorbel.6.gz DESTINATION share/man/man6)
install(FILES ${pkg}/copyright ${pkg}/changelog.gz DESTINATION share/doc/vorbel)

# ---------------------------------------------------------------- vorbel-server
# The meeting server, a package of its own from the same tree (component "server"):
#   sbin/vorbel-server, lib/systemd/system/vorbel-server.service,
#   share/man/man8/vorbel-server.8.gz
set(server_pkg ${CMAKE_BINARY_DIR}/packaging/server)
file(MAKE_DIRECTORY ${server_pkg})
configure_file(${CMAKE_SOURCE_DIR}/server/packaging/vorbel-server.8.in ${server_pkg}/vorbel-server.8 @ONLY)
find_program(VORBEL_SERVER_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${server_pkg}/vorbel-server.8.gz
                   COMMAND ${VORBEL_SERVER_GZIP} -9nc ${server_pkg}/vorbel-server.8 > ${server_pkg}/vorbel-server.8.gz
                   DEPENDS ${server_pkg}/vorbel-server.8
                   VERBATIM)
add_custom_target(vorbel_server_packaging_files ALL DEPENDS ${server_pkg}/vorbel-server.8.gz)
install(TARGETS vorbel-server RUNTIME DESTINATION sbin COMPONENT server)
install(FILES ${CMAKE_SOURCE_DIR}/server/packaging/vorbel-server.service DESTINATION lib/systemd/system COMPONENT server
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${server_pkg}/vorbel-server.8.gz DESTINATION share/man/man8 COMPONENT server
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${pkg}/copyright ${pkg}/changelog.gz DESTINATION share/doc/vorbel-server COMPONENT server)

set(CPACK_GENERATOR DEB)
# Two packages: vorbel (the game) and vorbel-server.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL game server)
set(CPACK_DEBIAN_GAME_PACKAGE_NAME vorbel)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME vorbel-server)
set(CPACK_DEBIAN_GAME_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_SERVER_DESCRIPTION "meeting server for vorbel's online play
Lets two players of vorbel meet over the Internet without opening a port on
their routers: a hosting game gets a six-letter room code, the other player
types it, and the two games reach each other directly or, when their routers
do not allow it, through the server's relay. It can also serve the browser
build of the game and carry its pages' matches over WebSockets.")
set(CPACK_PACKAGE_NAME vorbel)
set(CPACK_PACKAGE_VENDOR "vorbel developers")
# Each package's description: its summary line, then the rest. (With no common summary
# CPack puts none in front.)
set(CPACK_DEBIAN_GAME_DESCRIPTION "three-dimensional arcade duel of two tomatoes
Two tomatoes share a court split by a net. Stepping on an armed floor
button of your half sends a red beam sweeping across the other half, and
the opponent must be in the air when it passes or lose one of three lives.
.
Two players share one keyboard or use gamepads, one plays the computer, or
two machines play online.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_GAME_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL opens OpenGL and EGL at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_GAME_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
