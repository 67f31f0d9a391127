# The Debian packages the program needs at run time beyond the libraries it links (which
# dpkg-shlibdeps finds from the binaries): the QML modules its pages import, the Qt plugins it
# loads, the helper programs Qt starts and the libraries Qt opens by name. Each is found as a file of this machine's Qt and mapped
# to its package with `dpkg -S`, so the list follows the Qt the program is built against.
#
#   tarnel_runtime_packages(<out> QML_SOURCES <files...>)

# Loaded by Qt at run time, by path below the plugin folder: the X11 platform, the SVG image and
# icon engines (the program's pictures and icons), the compose key input and the OpenSSL TLS
# backend.
set(TARNEL_RUNTIME_QT_PLUGINS
  platforms/libqxcb.so
  imageformats/libqsvg.so
  iconengines/libqsvgicon.so
  platforminputcontexts/libcomposeplatforminputcontextplugin.so
  tls/libqopensslbackend.so)
# Started by Qt: the browser engine's page process (the web windows).
set(TARNEL_RUNTIME_QT_HELPERS QtWebEngineProcess)
# Opened by Qt itself rather than linked: the X11 platform's themed cursors.
set(TARNEL_RUNTIME_OPENED_LIBRARIES libXcursor.so.1)

function(tarnel_qt_path variable out)
  if(TARGET Qt6::qtpaths)
    get_target_property(qtpaths Qt6::qtpaths IMPORTED_LOCATION)
  endif()
  if(NOT qtpaths)
    find_program(qtpaths NAMES qtpaths6 qtpaths HINTS /usr/lib/qt6/bin)
  endif()
  execute_process(COMMAND ${qtpaths} --query ${variable} OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE failed)
  if(failed)
    set(value "")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# The modules a qmldir file brings in besides itself (its imports and dependencies, not the
# optional ones: the program chooses its style).
function(tarnel_qmldir_imports qmldir out)
  file(STRINGS "${qmldir}" lines REGEX "^(default[ \t]+)?(import|depends)[ \t]+")
  set(modules "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^(default[ \t]+)?(import|depends)[ \t]+([A-Za-z0-9_.]+).*" "\\3" module "${line}")
    list(APPEND modules ${module})
  endforeach()
  set(${out} ${modules} PARENT_SCOPE)
endfunction()

function(tarnel_runtime_packages out)
  cmake_parse_arguments(arg "" "" "QML_SOURCES" ${ARGN})
  find_program(dpkg_query dpkg)
  if(NOT dpkg_query)
    message(WARNING "dpkg is not here: the package's run-time dependencies cannot be found")
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  tarnel_qt_path(QT_INSTALL_QML qml_dir)
  tarnel_qt_path(QT_INSTALL_PLUGINS plugin_dir)
  tarnel_qt_path(QT_INSTALL_LIBEXECS libexec_dir)

  # The Qt modules the program's QML files import (its own Lumora modules are built in).
  set(pending "")
  foreach(source IN LISTS arg_QML_SOURCES)
    file(STRINGS "${source}" lines REGEX "^[ \t]*import[ \t]+[A-Za-z]")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*import[ \t]+([A-Za-z0-9_.]+).*" "\\1" module "${line}")
      if(NOT module MATCHES "^Lumora")
        list(APPEND pending ${module})
      endif()
    endforeach()
  endforeach()
  set(direct ${pending})
  set(seen "")
  set(files "")
  while(pending)
    list(POP_FRONT pending module)
    if(module IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${module})
    string(REPLACE "." "/" module_path "${module}")
    set(qmldir "${qml_dir}/${module_path}/qmldir")
    if(NOT EXISTS "${qmldir}")
      # A module another one brings in may live in a library without a folder of its own (QtQml's
      # models in Qt 6.4); one the program imports itself must be here.
      if(module IN_LIST direct)
        message(WARNING "the QML module ${module} is not installed here (${qmldir}): the package cannot name it")
      endif()
      continue()
    endif()
    list(APPEND files "${qmldir}")
    tarnel_qmldir_imports("${qmldir}" more)
    list(APPEND pending ${more})
  endwhile()
  foreach(plugin IN LISTS TARNEL_RUNTIME_QT_PLUGINS)
    list(APPEND files "${plugin_dir}/${plugin}")
  endforeach()
  foreach(helper IN LISTS TARNEL_RUNTIME_QT_HELPERS)
    list(APPEND files "${libexec_dir}/${helper}")
  endforeach()
  foreach(library IN LISTS TARNEL_RUNTIME_OPENED_LIBRARIES)
    list(APPEND files "/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/${library}")
  endforeach()

  set(packages "")
  foreach(file IN LISTS files)
    execute_process(COMMAND ${dpkg_query} -S "${file}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
      message(WARNING "no installed package holds ${file}: the package cannot name it")
      continue()
    endif()
    # "package[:arch][, other]: path"; a file two packages share names the first.
    string(REGEX REPLACE "^([^:, ]+).*" "\\1" package "${owner}")
    list(APPEND packages ${package})
  endforeach()
  list(REMOVE_DUPLICATES packages)
  list(SORT packages)
  set(${out} ${packages} PARENT_SCOPE)
endfunction()
