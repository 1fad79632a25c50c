# One INTERFACE target carries the language standard, the warnings and the
# sanitizer flags for every target of the project.
add_library(tessaly_options INTERFACE)
target_compile_features(tessaly_options INTERFACE cxx_std_20)
target_compile_options(tessaly_options INTERFACE
  -Wall -Wextra -Werror -Wold-style-cast -Wnon-virtual-dtor $<$<CXX_COMPILER_ID:GNU>:-Wshadow=local>)
target_include_directories(tessaly_options INTERFACE ${PROJECT_SOURCE_DIR}/src)

# The Qt layer also spells out every crossing between GBK bytes and QString.
add_library(tessaly_qt_options INTERFACE)
target_compile_definitions(tessaly_qt_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_FROM_BYTEARRAY QT_NO_KEYWORDS)

if(TESSALY_SANITIZE AND TESSALY_TSAN)
  message(FATAL_ERROR "TESSALY_SANITIZE and TESSALY_TSAN cannot be combined")
endif()
if(TESSALY_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(TESSALY_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# Registers a GoogleTest executable with CTest.
#   tessaly_add_test(NAME SOURCES a.cpp b.cpp LIBS lib1 lib2 [LABELS l])
function(tessaly_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE tessaly_options ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  # The discovered tests' properties travel as one flat list, so several
  # labels become one ("ui-threads"); ctest -L takes a regular expression,
  # so -L threads still selects it.
  list(JOIN ARG_LABELS "-" labels)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${labels}" ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
