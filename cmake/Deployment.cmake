# Deployment values: the service's hosts and the application's identity towards it, fixed at
# build time. Each is a cache variable whose default is a development placeholder, never empty,
# so a development build sends well-formed requests. A release package build (TARNEL_RELEASE)
# stops at configuration while any of them still holds its placeholder or is empty.

option(TARNEL_RELEASE "Release package build: every deployment value must be set to its real value" OFF)

# tarnel_deployment_value(<variable> <placeholder> <description>)
function(tarnel_deployment_value name placeholder description)
  if("${placeholder}" STREQUAL "")
    message(FATAL_ERROR "deployment value ${name} needs a non-empty development placeholder")
  endif()
  set(${name} "${placeholder}" CACHE STRING "${description}")
  # An empty value is never meant (older build folders cached empty defaults): the placeholder.
  if("$CACHE{${name}}" STREQUAL "")
    set(${name} "${placeholder}" CACHE STRING "${description}" FORCE)
  endif()
  set_property(GLOBAL APPEND PROPERTY TARNEL_DEPLOYMENT_VALUES "${name}")
  set_property(GLOBAL PROPERTY "TARNEL_DEPLOYMENT_PLACEHOLDER_${name}" "${placeholder}")
endfunction()

# Called once every deployment value is declared.
function(tarnel_check_deployment_values)
  get_property(names GLOBAL PROPERTY TARNEL_DEPLOYMENT_VALUES)
  set(unset "")
  foreach(name IN LISTS names)
    get_property(placeholder GLOBAL PROPERTY "TARNEL_DEPLOYMENT_PLACEHOLDER_${name}")
    if("${${name}}" STREQUAL "" OR "${${name}}" STREQUAL "${placeholder}")
      list(APPEND unset "${name}")
    endif()
  endforeach()
  if(TARNEL_RELEASE AND unset)
    list(JOIN unset " " unsetText)
    message(FATAL_ERROR "A release build needs the real deployment values; still placeholders or empty: ${unsetText}")
  endif()
endfunction()
