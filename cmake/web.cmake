# The browser build (emcmake cmake): the game and engine/ compiled to WebAssembly with
# emscripten, on WebGL 2, Web Audio and the page's canvas. Only what ships inside
# emscripten and Debian's header-only libraries is used; nothing is downloaded.
set(VORBEL_WEB_FLAGS -sMIN_WEBGL_VERSION=2 -sMAX_WEBGL_VERSION=2)

file(GLOB WEB_ENGINE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/engine/src/*.cpp)
add_library(engine STATIC ${WEB_ENGINE_SOURCES} ${CMAKE_SOURCE_DIR}/web/third_party_impl.cpp)
target_include_directories(engine PUBLIC ${CMAKE_SOURCE_DIR}/engine/include
                                  PRIVATE ${CMAKE_SOURCE_DIR}/engine/src)
# Debian's stb and tinyobjloader headers, compiled here (their libraries are native),
# through a folder of links to just them: /usr/include as a whole would bring glibc's.
set(WEB_HEADERS ${CMAKE_BINARY_DIR}/debian-headers)
file(MAKE_DIRECTORY ${WEB_HEADERS})
file(CREATE_LINK /usr/include/tiny_obj_loader.h ${WEB_HEADERS}/tiny_obj_loader.h SYMBOLIC)
target_include_directories(engine SYSTEM PRIVATE /usr/include/stb ${WEB_HEADERS})

file(GLOB_RECURSE WEB_GAME_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
list(FILTER WEB_GAME_SOURCES EXCLUDE REGEX ".*/src/app/main\\.cpp$")
add_library(vorbel_game STATIC ${WEB_GAME_SOURCES})
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/settings/startup.cpp APPEND PROPERTY COMPILE_DEFINITIONS
             VORBEL_VERSION="${PROJECT_VERSION}")
target_include_directories(vorbel_game PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(vorbel_game PUBLIC engine)

# ENet's core for the page, from the sources scripts/build-web.sh fetches; its platform
# layer is the page's WebSocket (src/net/page_socket.cpp).
set(VORBEL_WEB_ENET "" CACHE PATH "ENet's C sources and include/ (scripts/build-web.sh fetches them)")
if(NOT EXISTS "${VORBEL_WEB_ENET}/host.c")
  message(FATAL_ERROR "VORBEL_WEB_ENET must name ENet's sources: build the page with scripts/build-web.sh")
endif()
add_library(enet_web STATIC ${VORBEL_WEB_ENET}/callbacks.c ${VORBEL_WEB_ENET}/host.c ${VORBEL_WEB_ENET}/list.c
                            ${VORBEL_WEB_ENET}/packet.c ${VORBEL_WEB_ENET}/peer.c ${VORBEL_WEB_ENET}/protocol.c)
target_include_directories(enet_web SYSTEM PUBLIC ${VORBEL_WEB_ENET}/include)
target_compile_options(enet_web PRIVATE -w)
target_link_libraries(vorbel_game PUBLIC enet_web)

add_executable(vorbel ${CMAKE_SOURCE_DIR}/src/app/main.cpp)
target_link_libraries(vorbel PRIVATE vorbel_game)
set_target_properties(vorbel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} SUFFIX ".js")
target_link_options(vorbel PRIVATE ${VORBEL_WEB_FLAGS} -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=128MB
                    -sFORCE_FILESYSTEM=1 -lidbfs.js -lwebsocket.js "--pre-js=${CMAKE_SOURCE_DIR}/web/pre.js"
                    "--preload-file=${CMAKE_SOURCE_DIR}/assets@/assets")
set_property(TARGET vorbel APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/web/pre.js)
configure_file(${CMAKE_SOURCE_DIR}/web/index.html ${CMAKE_BINARY_DIR}/index.html COPYONLY)

# A recorded match's checksums frame by frame under node, with no page: the same
# program as the desktop's replay_sums, compared with it by tests/replay.
# One file: this emscripten fetches a separate .wasm, which node cannot do from a path.
add_executable(replay_sums ${CMAKE_SOURCE_DIR}/tools/replay_sums.cpp)
target_link_libraries(replay_sums PRIVATE vorbel_game)
set_target_properties(replay_sums PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR} SUFFIX ".js")
target_link_options(replay_sums PRIVATE ${VORBEL_WEB_FLAGS} -sENVIRONMENT=node -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1
                    -sINITIAL_MEMORY=64MB -sEXIT_RUNTIME=1 -sSINGLE_FILE=1)
