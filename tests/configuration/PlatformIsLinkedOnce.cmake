# cmake -DPLATFORM=<libplatform.so> -DOTHERS=<lib;...> -P PlatformIsLinkedOnce.cmake
find_program(NM nm REQUIRED)

function(defined_symbols library out)
  execute_process(COMMAND ${NM} -D --defined-only "${library}" RESULT_VARIABLE code OUTPUT_VARIABLE text)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "nm failed on ${library}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# The settings domain and the keychain choice: their statics live where these are defined.
set(owners "_ZN8platform12UserDefaults8standardEv" "_ZN8platform12openKeychain")

defined_symbols("${PLATFORM}" platformSymbols)
foreach(symbol IN LISTS owners)
  if(NOT platformSymbols MATCHES "${symbol}")
    message(FATAL_ERROR "the platform library does not export ${symbol}")
  endif()
endforeach()
# Internals stay inside: nothing of its unnamed namespaces (the keychain classes, the settings
# file's helpers) is exported.
if(platformSymbols MATCHES "_ZN8platform12_GLOBAL__N_1|_ZTVN8platform12_GLOBAL__N_1")
  message(FATAL_ERROR "the platform library exports its internals")
endif()

foreach(library IN LISTS OTHERS)
  defined_symbols("${library}" symbols)
  # Strong definitions only: a header's templates and inline functions (weak, W/V) are made where
  # they are used and merged by the loader; what must not be there twice is the library's own code
  # and data.
  string(REGEX MATCHALL "[^\n]* [TDBR] _ZN8platform[^\n]*" copies "${symbols}")
  if(copies)
    list(GET copies 0 example)
    message(FATAL_ERROR "${library} carries its own copy of the platform library (${example})")
  endif()
endforeach()
