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

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vorbel)
set(CPACK_PACKAGE_VENDOR "vorbel developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "three-dimensional arcade duel of two tomatoes")
# The summary above is the first line of Description; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Two tomatoes share a court split by a net. Stepping on an armed floor
button of your half sends a red beam sweeping across the other half, and
the opponent must be in the air when it passes or lose one of three lives.
.
Two players share one keyboard or use gamepads, one plays the computer, or
two machines play online.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL opens OpenGL and EGL at run time, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
