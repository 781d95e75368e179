# Most of a compile here is Qt's headers. The libraries are compiled in a few batches of
# files each (unity), and under clang every Qt-using target starts from precompiled Qt headers;
# the test programs share one set. Both are off for the lint's compile database, which must name
# each source file.
option(LEXIVANE_FAST_BUILD "Unity batches and precompiled Qt headers" ON)

set(LEXIVANE_PCH_CORE <QtCore/QByteArray> <QtCore/QHash> <QtCore/QList> <QtCore/QObject>
                      <QtCore/QString> <QtCore/QStringList> <QtCore/QVariant>)
set(LEXIVANE_PCH_WIDGETS ${LEXIVANE_PCH_CORE} <QtGui/QGuiApplication> <QtWidgets/QWidget>
                         <QtWidgets/QApplication>)

# lexivane_fast_build(TARGET CORE|WIDGETS): batches and precompiled headers for one library.
function(lexivane_fast_build target kind)
  if(NOT LEXIVANE_FAST_BUILD)
    return()
  endif()
  set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # A batch includes its files, and GCC takes a type of a file's own anonymous namespace
    # inside an included file for one that leaks out of it.
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    # No precompiled headers from GCC: now and then one is loaded at another address, and the
    # debug information then differs, so two builds of the package did not match.
    return()
  endif()
  target_precompile_headers(${target} PRIVATE ${LEXIVANE_PCH_${kind}})
endfunction()

# lexivane_shared_pch(TARGET): a test program takes the headers precompiled for all of them.
# Clang only: it takes a header precompiled with fewer macros than the program has, GCC does
# not. The header holds no Qt module macro (QT_WIDGETS_LIB would make every QTEST_MAIN a
# QApplication), so it is built from the modules' include folders, not by linking them.
function(lexivane_shared_pch target)
  if(NOT LEXIVANE_FAST_BUILD OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    return()
  endif()
  if(NOT TARGET lexivane_test_pch)
    file(WRITE ${CMAKE_BINARY_DIR}/test_pch.cpp "")
    add_library(lexivane_test_pch OBJECT ${CMAKE_BINARY_DIR}/test_pch.cpp)
    target_link_libraries(lexivane_test_pch PRIVATE Qt6::Core)
    target_include_directories(lexivane_test_pch SYSTEM PRIVATE
      $<TARGET_PROPERTY:Qt6::Widgets,INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(lexivane_test_pch PRIVATE
      LEXIVANE_TEST_DATA="${LEXIVANE_TEST_DATA}"
      LEXIVANE_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
    target_precompile_headers(lexivane_test_pch PRIVATE ${LEXIVANE_PCH_WIDGETS})
    set_target_properties(lexivane_test_pch PROPERTIES AUTOMOC OFF)
  endif()
  target_precompile_headers(${target} REUSE_FROM lexivane_test_pch)
endfunction()
