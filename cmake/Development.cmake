# The development configuration (-DTARNEL_DEVELOPMENT=ON, what `scripts/run` builds): every
# deployment value points at the local development service (tools/devservice) on fixed loopback
# addresses, and the program trusts that service's certificate authority. Release builds leave the
# option off: they contain neither the service nor its authority.
#
# Included before the folders that declare the deployment values, so these become the defaults of
# a fresh development build directory.
option(TARNEL_DEVELOPMENT "Development build against the local development service" OFF)

if(TARNEL_DEVELOPMENT)
  set(TARNEL_DEV_STATE_DIR "${CMAKE_BINARY_DIR}/devservice" CACHE PATH
      "Folder of the development service's state; its ca.crt is trusted by the development build")
  set(TARNEL_DISCOVERY_HOST_NAME "dns.dev.tarnel.test" CACHE STRING "")
  set(TARNEL_DISCOVERY_ADDRESS_1 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_FALLBACK_1 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_ADDRESS_2 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_FALLBACK_2 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_MIRROR_1 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_MIRROR_2 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_MIRROR_ADDRESS_1 "127.77.0.1" CACHE STRING "")
  set(TARNEL_DISCOVERY_MIRROR_ADDRESS_2 "127.77.0.1" CACHE STRING "")
  set(TARNEL_HTTPDNS_1 "127.77.0.1" CACHE STRING "")
  set(TARNEL_HTTPDNS_2 "127.77.0.1" CACHE STRING "")
  set(TARNEL_HTTPDNS_3 "127.77.0.1" CACHE STRING "")
  # The web pages live on the service's page host, a name under "localhost" (see
  # tools/devservice): the official site and its "www." pages, help, the store page, the browser
  # check. The discovery answer points the others (terms, privacy, payment, support, rewards,
  # rules) at the same host.
  set(TARNEL_DEV_SITE "tarnel.localhost:18444")
  set(TARNEL_OFFICIAL_SITE "${TARNEL_DEV_SITE}" CACHE STRING "")
  set(TARNEL_HELP_CENTRE_URL "https://${TARNEL_DEV_SITE}/help/" CACHE STRING "")
  set(TARNEL_APP_STORE_URL "https://${TARNEL_DEV_SITE}/apps" CACHE STRING "")
  set(TARNEL_STORE_PAGE "https://${TARNEL_DEV_SITE}/apps" CACHE STRING "")
  set(TARNEL_BROWSER_CHECK_PAGE "https://${TARNEL_DEV_SITE}/browser-check/" CACHE STRING "")
  set(TARNEL_LOG_HOST "127.77.0.2" CACHE STRING "")
  set(TARNEL_AVAILABILITY_PAGE_1 "https://check.dev.tarnel.test:18443/search" CACHE STRING "")
  set(TARNEL_AVAILABILITY_PAGE_2 "https://check.dev.tarnel.test:18443/video-one" CACHE STRING "")
  set(TARNEL_AVAILABILITY_PAGE_3 "https://check.dev.tarnel.test:18443/video-two" CACHE STRING "")
  # The diagnosis fetches the first two directly (by address: only the node resolves the name).
  set(TARNEL_REFERENCE_SITE_1 "https://127.77.0.3:18443/portal-one" CACHE STRING "")
  set(TARNEL_REFERENCE_SITE_2 "https://127.77.0.3:18443/portal-two" CACHE STRING "")
  set(TARNEL_PROXY_TEST_SITE_1 "https://check.dev.tarnel.test:18443/far-one" CACHE STRING "")
  set(TARNEL_PROXY_TEST_SITE_2 "https://check.dev.tarnel.test:18443/far-two" CACHE STRING "")
  if(TARNEL_RELEASE)
    message(FATAL_ERROR "A release build is never a development build: leave TARNEL_DEVELOPMENT off")
  endif()
  if(NOT TARNEL_BUILD_TESTS)
    message(FATAL_ERROR "The development service is built from the test doubles: keep TARNEL_BUILD_TESTS on")
  endif()
endif()
