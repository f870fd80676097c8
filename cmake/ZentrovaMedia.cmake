# zm_library(NAME DEPS...): the static library of src/NAME, from every .cpp there
# except main.cpp. New files are picked up when CMake re-runs (CONFIGURE_DEPENDS).
function(zm_library name)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${PROJECT_SOURCE_DIR}/src/${name}/*.cpp ${PROJECT_SOURCE_DIR}/src/${name}/*.h
       ${PROJECT_SOURCE_DIR}/src/${name}/*.c)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  list(FILTER sources EXCLUDE REGEX "/qml/")
  if(NOT sources)
    set(sources ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
  endif()
  add_library(zm_${name} STATIC ${sources})
  target_include_directories(zm_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(zm_${name} PUBLIC ${ARGN})
endfunction()

# zm_tests(SUBDIR LIBS...): one Qt Test executable and CTest test per tst_*.cpp.
function(zm_tests subdir)
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${subdir}/tst_*.cpp)
  foreach(src IN LISTS tests)
    get_filename_component(base ${src} NAME_WE)
    set(target ${subdir}_${base})
    add_executable(${target} ${src})
    target_link_libraries(${target} PRIVATE Qt6::Test zm_testsupport ${ARGN})
    add_test(NAME ${subdir}.${base} COMMAND ${target})
    set_tests_properties(${subdir}.${base} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZENTROVA_MEDIA_RESOURCES=${ZM_RESOURCES_DIR};ZM_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      TIMEOUT 300)
  endforeach()
endfunction()
