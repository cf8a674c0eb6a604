# keyloom_add_library(NAME <name> SOURCES ... [PUBLIC_LIBS ...] [PRIVATE_LIBS ...])
# A static library keyloom_<name> with the alias keyloom::<name>; the repository root
# is its include root, so units are included as "store/settings.h".
function(keyloom_add_library)
    cmake_parse_arguments(ARG "" "NAME" "SOURCES;PUBLIC_LIBS;PRIVATE_LIBS" ${ARGN})
    add_library(keyloom_${ARG_NAME} STATIC ${ARG_SOURCES})
    add_library(keyloom::${ARG_NAME} ALIAS keyloom_${ARG_NAME})
    target_include_directories(keyloom_${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(keyloom_${ARG_NAME} PUBLIC ${ARG_PUBLIC_LIBS} PRIVATE ${ARG_PRIVATE_LIBS})
endfunction()

# keyloom_add_test(NAME <name> SOURCES ... [LIBS ...] [LABELS ...] [ENV ...] [TIMEOUT s])
# One gtest executable; each of its tests is registered with ctest on its own.
function(keyloom_add_test)
    cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${ARG_NAME} ${ARG_SOURCES})
    set_target_properties(${ARG_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBS} keyloom::testsupport GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${ARG_NAME}
        PROPERTIES LABELS "${ARG_LABELS}" ENVIRONMENT "${ARG_ENV}" TIMEOUT ${ARG_TIMEOUT}
        DISCOVERY_TIMEOUT 60)
endfunction()
