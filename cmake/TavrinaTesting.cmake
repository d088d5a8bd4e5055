find_package(GTest REQUIRED)
include(GoogleTest)

# Everything the sanitizer run needs, so it builds no more than that.
add_custom_target(tavrina_unit_tests)

# tavrina_add_test(NAME LABEL label SOURCES ... LIBS ...)
# One GoogleTest program per unit suite; every case becomes a CTest test carrying the label.
function(tavrina_add_test name)
    cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        TAVRINA_TESTDATA="${TAVRINA_SHARED_TESTDATA}"
        TAVRINA_BINARY_DIR="${CMAKE_BINARY_DIR}")
    # Windows are tested without a display: Qt's offscreen platform, fonts from the system.
    if(T_LABEL STREQUAL "gui")
        # DISCOVERY_TIMEOUT before PROPERTIES: a keyword after it ends the property list.
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
            PROPERTIES LABELS ${T_LABEL} ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    else()
        gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${T_LABEL})
    endif()
    if(T_LABEL STREQUAL "unit")
        add_dependencies(tavrina_unit_tests ${name})
    endif()
endfunction()
