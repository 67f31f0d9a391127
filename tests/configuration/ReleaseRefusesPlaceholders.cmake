# A development configuration gives every deployment value a non-empty placeholder; a release
# configuration refuses to go on while any is left, naming each; with all of them set it goes on.
#   cmake -DSOURCE=<repo> -DWORK=<scratch folder> -DGENERATOR=<generator> -P ReleaseRefusesPlaceholders.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(configure folder result output)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${SOURCE}" -B "${WORK}/${folder}" -G "${GENERATOR}" -DTARNEL_BUILD_TESTS=OFF ${ARGN}
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  set(${result} "${code}" PARENT_SCOPE)
  set(${output} "${out}${err}" PARENT_SCOPE)
endfunction()

# Development: configures, and no deployment value is empty.
configure(development code out)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "the development configuration failed:\n${out}")
endif()
file(STRINGS "${WORK}/development/CMakeCache.txt" cached REGEX "^TARNEL_[A-Z0-9_]+:STRING=")
set(names "")
foreach(line IN LISTS cached)
  string(REGEX MATCH "^(TARNEL_[A-Z0-9_]+):STRING=(.*)$" _ "${line}")
  set(name "${CMAKE_MATCH_1}")
  set(value "${CMAKE_MATCH_2}")
  if(name MATCHES "^TARNEL_(AGENT|API_APPID|LOG_HOST|DISCOVERY_|HTTPDNS_|OFFICIAL_SITE)")
    list(APPEND names "${name}")
    if("${value}" STREQUAL "")
      message(FATAL_ERROR "${name} is empty in a development build")
    endif()
  endif()
endforeach()
list(LENGTH names count)
if(count LESS 16)
  message(FATAL_ERROR "expected at least 16 deployment values, found ${count}: ${names}")
endif()

# Release with the placeholders: refused, naming every one of them.
configure(release-placeholders code out -DTARNEL_RELEASE=ON)
if(code EQUAL 0)
  message(FATAL_ERROR "a release configuration with placeholders went on")
endif()
foreach(name IN LISTS names)
  if(NOT out MATCHES "${name}")
    message(FATAL_ERROR "the refusal does not name ${name}:\n${out}")
  endif()
endforeach()

# Release with one left: refused, naming that one only.
set(values "")
foreach(name IN LISTS names)
  string(TOLOWER "${name}" lower)
  string(REPLACE "_" "-" lower "${lower}")
  list(APPEND values "-D${name}=real-${lower}.example")
endforeach()
list(POP_BACK values)
list(POP_BACK names last)
configure(release-one-left code out -DTARNEL_RELEASE=ON ${values})
# CMake wraps the message: compare it with its white space folded.
string(REGEX REPLACE "[ \t\r\n]+" " " flat "${out}")
if(code EQUAL 0 OR NOT flat MATCHES "still placeholders or empty: ${last} Call Stack")
  message(FATAL_ERROR "a release configuration with ${last} left was not refused for it alone:\n${out}")
endif()

# Release with every value set: goes on.
string(TOLOWER "${last}" lower)
string(REPLACE "_" "-" lower "${lower}")
configure(release-complete code out -DTARNEL_RELEASE=ON ${values} "-D${last}=real-${lower}.example")
if(NOT code EQUAL 0)
  message(FATAL_ERROR "a complete release configuration was refused:\n${out}")
endif()
file(REMOVE_RECURSE "${WORK}")
