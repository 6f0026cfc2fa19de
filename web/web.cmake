# The page: the emulator alone, built by emscripten (scripts/web) into kestrel.html, .js and
# .wasm with the built-in ROMs inside. The window's entry and the debugger's sockets stay out;
# host/web_main.cpp hands the loop to the browser.
list(REMOVE_ITEM KESTREL_SOURCES ${CMAKE_SOURCE_DIR}/host/main.cpp ${CMAKE_SOURCE_DIR}/host/gdb_server.cpp)
add_executable(kestrel ${KESTREL_SOURCES})
set_target_properties(kestrel PROPERTIES SUFFIX .html)
target_include_directories(kestrel PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(kestrel PRIVATE kestrel_roms kestrel_sdl)
target_link_options(kestrel PRIVATE
  --shell-file ${CMAKE_SOURCE_DIR}/web/shell.html
  -lidbfs.js
  -sALLOW_MEMORY_GROWTH=1
  -sFORCE_FILESYSTEM=1
  -sMINIFY_HTML=0
  -sEXPORTED_RUNTIME_METHODS=[FS,ccall,callMain,IDBFS]
  -sEXPORTED_FUNCTIONS=[_main,_web_restart,_web_key,_web_screenshot,_web_flush,_web_machine,_web_save_state,_web_load_state])
set_property(TARGET kestrel APPEND PROPERTY LINK_DEPENDS ${CMAKE_SOURCE_DIR}/web/shell.html)
