# GoogleTest for the Windows build: Debian ships it as source (/usr/src/googletest), so it is built
# once with the same toolchain and installed inside the build tree, where later configures find it.
set(KORVANE_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
set(KORVANE_GTEST_PREFIX ${CMAKE_BINARY_DIR}/googletest)

if(NOT EXISTS ${KORVANE_GTEST_PREFIX}/lib/libgtest.a)
  message(STATUS "Building GoogleTest for Windows from ${KORVANE_GTEST_SOURCE}")
  set(build_dir ${CMAKE_BINARY_DIR}/googletest-build)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${KORVANE_GTEST_SOURCE} -B ${build_dir} -G ${CMAKE_GENERATOR}
            -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
            -DCMAKE_INSTALL_PREFIX=${KORVANE_GTEST_PREFIX} -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF
    OUTPUT_QUIET RESULT_VARIABLE failed)
  if(NOT failed)
    execute_process(COMMAND ${CMAKE_COMMAND} --build ${build_dir} --target install -j2
                    OUTPUT_QUIET RESULT_VARIABLE failed)
  endif()
  if(failed)
    message(FATAL_ERROR "GoogleTest for Windows did not build (see ${build_dir})")
  endif()
endif()
# The toolchain looks for packages only under its root paths: this is one more.
list(APPEND CMAKE_FIND_ROOT_PATH ${KORVANE_GTEST_PREFIX})
