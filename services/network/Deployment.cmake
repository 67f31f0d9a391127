# Host discovery's built-in endpoints and the official web site: deployment data of the service,
# fixed at build time. The ports and paths belong to the protocol and stay in the code.
set(TARNEL_DISCOVERY_HOST_NAME "dns.tarnelmacos.io" CACHE STRING "Host header of the direct discovery addresses")
set(TARNEL_DISCOVERY_ADDRESS_1 "203.0.113.21" CACHE STRING "First direct discovery address (port 2324)")
set(TARNEL_DISCOVERY_FALLBACK_1 "d1.tarnelmacos.io" CACHE STRING "First fallback discovery host (port 233)")
set(TARNEL_DISCOVERY_ADDRESS_2 "203.0.113.22" CACHE STRING "Second direct discovery address (port 2324)")
set(TARNEL_DISCOVERY_FALLBACK_2 "d2.tarnelmacos.io" CACHE STRING "Second fallback discovery host (port 666)")
set(TARNEL_DISCOVERY_MIRROR_1 "tarnel-dns-1.oss.tarnelmacos.io" CACHE STRING "First cloud-storage mirror host")
set(TARNEL_DISCOVERY_MIRROR_2 "tarnel-dns-2.cos.tarnelmacos.io" CACHE STRING "Second cloud-storage mirror host")
set(TARNEL_DISCOVERY_MIRROR_ADDRESS_1 "203.0.113.23" CACHE STRING "Direct address of the first mirror")
set(TARNEL_DISCOVERY_MIRROR_ADDRESS_2 "203.0.113.24" CACHE STRING "Direct address of the second mirror")
set(TARNEL_HTTPDNS_1 "hd1.tarnelmacos.io" CACHE STRING "First HTTP-DNS server")
set(TARNEL_HTTPDNS_2 "hd2.tarnelmacos.io" CACHE STRING "Second HTTP-DNS server")
set(TARNEL_HTTPDNS_3 "hd3.tarnelmacos.io" CACHE STRING "Third HTTP-DNS server")
set(TARNEL_OFFICIAL_SITE "tarnel.app" CACHE STRING "Official web site (host name, no scheme)")
set(TARNEL_UPDATE_PACKAGE_PATH "/tarnel/download/linux-tarnel-amd64.deb" CACHE STRING
  "Path of the update package on the download host")
set(TARNEL_UPDATE_FILE_NAME "tarnel-update.deb" CACHE STRING "File name of the downloaded update in the caches folder")

configure_file(${CMAKE_CURRENT_LIST_DIR}/DeploymentConfig.h.in
  ${CMAKE_CURRENT_BINARY_DIR}/generated/services/network/DeploymentConfig.h @ONLY)
target_include_directories(TarnelLibrary PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
