# The fuzz build (-DTERVANE_FUZZ=ON, in its own build folder; scripts/fuzz makes it): the
# libFuzzer targets of tests/fuzz and only the libraries they link, all with clang's coverage
# for the fuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "TERVANE_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
endif()
# Every library gets the fuzzer's coverage; only the fuzz targets link its main.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)

# The test helpers use GoogleTest's assertions.
find_package(GTest REQUIRED)
foreach(folder base mailapi cli log store message engine maildir control extserver tests/support)
  add_subdirectory(${folder} EXCLUDE_FROM_ALL)
endforeach()
add_subdirectory(tests/fuzz)
