if(OMBRIX_BUILD_APP AND NOT OMBRIX_FUZZ)
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)

# The real window over the real model and engine, on scratch folders; shared
# by the window tests and the screenshot tool.
file(GLOB OMBRIX_WINDOW_TESTING_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/app/testing/*.cpp)
add_library(ombrix_window_testing STATIC ${OMBRIX_WINDOW_TESTING_SOURCES})
target_include_directories(ombrix_window_testing PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests ${CMAKE_SOURCE_DIR}/tests/app)
target_link_libraries(ombrix_window_testing PUBLIC ombrix_app rozuzed_testing Qt6::Test)
set_target_properties(ombrix_window_testing PROPERTIES AUTOMOC ON)

# Every screen in each of its states, registered by the files that make
# them: the screenshot tool renders them and the window tests read them. An
# object library, so no registration is left out at linking.
file(GLOB OMBRIX_SCENE_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/app/screenshots/*_scenes.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/app/screenshots/scene.cpp)
add_library(ombrix_scenes OBJECT ${OMBRIX_SCENE_SOURCES})
target_link_libraries(ombrix_scenes PUBLIC ombrix_window_testing)

file(GLOB OMBRIX_WINDOW_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/app/*_test.cpp)
add_executable(ombrix_window_tests app/window_test_main.cpp ${OMBRIX_WINDOW_TESTS}
  $<TARGET_OBJECTS:ombrix_scenes>)
set_target_properties(ombrix_window_tests PROPERTIES AUTOMOC ON)
target_link_libraries(ombrix_window_tests PRIVATE ombrix_window_testing GTest::gtest GTest::gmock)
add_dependencies(ombrix_window_tests ombrix_resources ombrix-driver run_lock_holder)
gtest_discover_tests(ombrix_window_tests DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS "window"
  ENVIRONMENT "QT_QPA_PLATFORM=offscreen;OMBRIX_TEST_BIN=${CMAKE_BINARY_DIR}/bin")

# Renders each screen to a PNG file: scripts/screenshots.
add_executable(ombrix-screenshots app/screenshots/screenshots_main.cpp
  $<TARGET_OBJECTS:ombrix_scenes>)
target_link_libraries(ombrix-screenshots PRIVATE ombrix_window_testing)
add_dependencies(ombrix-screenshots ombrix_resources)
endif()

# The start-up check: the real program under a virtual X server shows its
# window and quits cleanly when the window is closed.
if(OMBRIX_BUILD_APP AND NOT OMBRIX_FUZZ)
  find_package(X11 REQUIRED)
  add_executable(startup_check app/startup_check.cpp)
  target_include_directories(startup_check PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(startup_check PRIVATE rozuzed_testing X11::X11)
  add_dependencies(startup_check ombrix)
  add_test(NAME ombrix_startup
    COMMAND xvfb-run -a $<TARGET_FILE:startup_check> $<TARGET_FILE:ombrix>)
  set_tests_properties(ombrix_startup PROPERTIES LABELS "window" TIMEOUT 180)
  if(OMBRIX_SANITIZE)
    set_tests_properties(ombrix_startup PROPERTIES ENVIRONMENT
      "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_SOURCE_DIR}/app/startup_check.supp:print_suppressions=0")
  endif()
  # Installed as the README says: stripped, with its icon and menu entry.
  add_test(NAME ombrix_install
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/app/install_check.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(ombrix_install PROPERTIES LABELS "window")
  # The interrupted-run alert's picture starts from a run the driver left.
  add_dependencies(ombrix-screenshots ombrix-driver)
endif()
