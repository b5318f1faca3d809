# Tests of the Windows build: each runs under Wine (scripts/wine-run.sh) in the build tree's own
# prefix. A test with BOARD_OPTIONS gets a korvane-board of a Linux build on COM3 for its run
# (scripts/with-board.sh); such tests take turns, as there is one COM3.
set(KORVANE_BOARD "" CACHE FILEPATH "korvane-board of a Linux build: serves COM ports to tests under Wine")
set(KORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)

# korvane_add_wine_test(NAME name [BOARD_OPTIONS "options"] COMMAND target [args...])
function(korvane_add_wine_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;BOARD_OPTIONS" "COMMAND")
  list(POP_FRONT arg_COMMAND target)
  set(run ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:${target}> ${arg_COMMAND})
  set(lock "")
  if(DEFINED arg_BOARD_OPTIONS)
    if(NOT EXISTS "${KORVANE_BOARD}")
      message(FATAL_ERROR "${arg_NAME} needs KORVANE_BOARD, the korvane-board of a Linux build")
    endif()
    set(run ${PROJECT_SOURCE_DIR}/scripts/with-board.sh ${KORVANE_BOARD} 3 "${arg_BOARD_OPTIONS}" -- ${run})
    set(lock RESOURCE_LOCK com3)
  endif()
  add_test(NAME ${arg_NAME} COMMAND ${run})
  set_tests_properties(${arg_NAME} PROPERTIES ENVIRONMENT "WINEPREFIX=${KORVANE_WINEPREFIX}" TIMEOUT 90 ${lock})
endfunction()
