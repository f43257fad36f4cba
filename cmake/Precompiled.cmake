# Precompiled headers. Every compile reads the same standard library, Qt and GoogleTest headers before
# any of our code, and in the sanitizer build that reading is a large share of the time. A few donor
# targets precompile those headers once; every C++ target of ours reuses the largest set it may see.
# GCC refuses a precompiled set made with a macro its user does not define the same way (QT_WIDGETS_LIB,
# GTEST_HAS_PTHREAD, ...), and -Winvalid-pch is an error here, so a donor links only what its users link.
# With a compiler cache (ccache) they stay off: the cache cannot reuse compiles against a precompiled
# header without settings of its own, and a warm cache is faster still. The checks below are GCC's; the
# clang builds (scripts/fuzz) go without.
# Off unless asked for (-DSOLVANE_PCH=ON): a precompiled header is read before every source, so a header a
# file does not include still changes what it means (with <QApplication> seen, qApp is a QApplication even
# in a program that made a QCoreApplication, which the sanitizer stops at).
option(SOLVANE_PCH "Reuse precompiled standard library, Qt and GoogleTest headers" OFF)
if(CMAKE_CXX_COMPILER_LAUNCHER OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(SOLVANE_PCH OFF)
endif()

set(solvane_pch_core_headers
  <algorithm> <array> <atomic> <chrono> <cmath> <cstdint> <cstdio> <cstdlib> <cstring> <functional> <limits>
  <map> <memory> <mutex> <optional> <set> <string> <thread> <utility> <vector>
  <QByteArray> <QCoreApplication> <QDateTime> <QDir> <QElapsedTimer> <QFile> <QFileInfo> <QHash> <QJsonArray>
  <QJsonDocument> <QJsonObject> <QJsonValue> <QList> <QLocale> <QObject> <QPointer> <QProcess>
  <QRegularExpression> <QSet> <QStandardPaths> <QString> <QStringList> <QTemporaryDir> <QThread> <QTimeZone>
  <QTimer> <QUrl> <QVariant>)
set(solvane_pch_widgets_headers
  <QApplication> <QGuiApplication> <QImage> <QLabel> <QPainter> <QScreen> <QWidget> <QWindow>)

# solvane_pch_donor(<name> HEADERS ... LIBS ... [PTHREAD]): an object library that only precompiles the
# headers (PTHREAD: with -pthread, which defines _REENTRANT, for users that glib's flags give it to).
function(solvane_pch_donor name)
  cmake_parse_arguments(D "PTHREAD" "" "HEADERS;LIBS" ${ARGN})
  set(empty ${CMAKE_BINARY_DIR}/pch/${name}.cpp)
  file(CONFIGURE OUTPUT ${empty} CONTENT "// Nothing: this target only precompiles headers.\n")
  add_library(${name} OBJECT ${empty})
  target_link_libraries(${name} PRIVATE ${D_LIBS} solvane_warnings)
  target_precompile_headers(${name} PRIVATE ${D_HEADERS})
  if(D_PTHREAD)
    target_compile_options(${name} PRIVATE -pthread)
  endif()
endfunction()

# Whether <target> sees Qt Core, Qt Widgets, GoogleTest and -pthread: its link libraries and, through
# them, what each passes on to its users (a static library's private links, $<LINK_ONLY:...>, pass on no
# macros).
function(solvane_pch_sees target out_core out_widgets out_gtest out_pthread)
  get_target_property(todo ${target} LINK_LIBRARIES)
  set(seen)
  set(core OFF)
  set(widgets OFF)
  set(gtest OFF)
  set(pthread OFF)
  while(todo)
    list(POP_FRONT todo item)
    if(NOT item OR item MATCHES "^\\$<" OR item IN_LIST seen)
      continue()
    endif()
    # A pkg-config target made in another folder is not visible here; its flags are in the cache.
    if(item MATCHES "^PkgConfig::(.+)$")
      if("-pthread" IN_LIST ${CMAKE_MATCH_1}_CFLAGS_OTHER)
        set(pthread ON)
      endif()
    endif()
    if(NOT TARGET ${item})
      continue()
    endif()
    list(APPEND seen ${item})
    if(item STREQUAL "Qt6::Core")
      set(core ON)
    elseif(item STREQUAL "Qt6::Widgets")
      set(widgets ON)
    elseif(item MATCHES "^GTest::(gtest|GTest)$")
      set(gtest ON)
    endif()
    get_target_property(options ${item} INTERFACE_COMPILE_OPTIONS)
    if("-pthread" IN_LIST options)
      set(pthread ON)
    endif()
    get_target_property(next ${item} INTERFACE_LINK_LIBRARIES)
    if(next)
      list(APPEND todo ${next})
    endif()
  endwhile()
  set(${out_core} ${core} PARENT_SCOPE)
  set(${out_widgets} ${widgets} PARENT_SCOPE)
  set(${out_gtest} ${gtest} PARENT_SCOPE)
  set(${out_pthread} ${pthread} PARENT_SCOPE)
endfunction()

function(solvane_pch_targets dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir ${subdirs})
    solvane_pch_targets(${subdir} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Call once, after every target is defined.
function(solvane_use_precompiled_headers)
  if(NOT SOLVANE_PCH)
    return()
  endif()
  solvane_pch_targets(${CMAKE_SOURCE_DIR} targets)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    get_target_property(sources ${target} SOURCES)
    if(target MATCHES "^solvane_pch_" OR NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY)$"
       OR NOT sources MATCHES "\\.cpp(;|$)")
      continue()
    endif()
    solvane_pch_sees(${target} core widgets gtest pthread)
    if(NOT core)
      continue()
    endif()
    # The donor for what the target sees, made on first use: solvane_pch_[test_]{core|widgets}[_pthread].
    set(donor solvane_pch)
    set(headers ${solvane_pch_core_headers})
    set(libs Qt6::Core)
    if(gtest)
      string(APPEND donor _test)
      list(APPEND headers <gtest/gtest.h>)
      list(APPEND libs GTest::gtest)
    endif()
    if(widgets)
      string(APPEND donor _widgets)
      list(APPEND headers ${solvane_pch_widgets_headers})
      list(APPEND libs Qt6::Widgets)
    else()
      string(APPEND donor _core)
    endif()
    set(flags)
    if(pthread)
      string(APPEND donor _pthread)
      set(flags PTHREAD)
    endif()
    if(NOT TARGET ${donor})
      solvane_pch_donor(${donor} HEADERS ${headers} LIBS ${libs} ${flags})
    endif()
    set_target_properties(${target} PROPERTIES PRECOMPILE_HEADERS_REUSE_FROM ${donor})
    # GLib's headers name a member 'signals', which Qt's headers, read first, have made a keyword: a
    # source that includes them keeps its own order.
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(source ${sources})
      if(NOT source MATCHES "\\.cpp$")
        continue()
      endif()
      if(NOT IS_ABSOLUTE ${source})
        set(source ${source_dir}/${source})
      endif()
      file(STRINGS ${source} glib REGEX "^#include <(gio|glib)")
      if(glib)
        set_source_files_properties(${source} TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
      endif()
    endforeach()
  endforeach()
endfunction()
