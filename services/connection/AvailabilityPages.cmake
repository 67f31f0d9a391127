# The public pages that prove traffic flows through a new connection: deployment data of the
# service, fixed at build time (host only, no path).
set(TARNEL_AVAILABILITY_PAGE_1 "https://www.google.com" CACHE STRING "First availability check page (a search engine)")
set(TARNEL_AVAILABILITY_PAGE_2 "https://www.youtube.com" CACHE STRING "Second availability check page (a video site)")
set(TARNEL_AVAILABILITY_PAGE_3 "https://www.netflix.com" CACHE STRING "Third availability check page (a video site)")
set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/ConnectionController.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  "TARNEL_AVAILABILITY_PAGE_1=\"${TARNEL_AVAILABILITY_PAGE_1}\""
  "TARNEL_AVAILABILITY_PAGE_2=\"${TARNEL_AVAILABILITY_PAGE_2}\""
  "TARNEL_AVAILABILITY_PAGE_3=\"${TARNEL_AVAILABILITY_PAGE_3}\"")
