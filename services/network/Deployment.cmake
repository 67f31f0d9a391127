# Host discovery's built-in endpoints and the official web site: deployment data of the service,
# fixed at build time (placeholders until a release sets them, see cmake/Deployment.cmake). The
# ports and paths belong to the protocol and stay in the code.
tarnel_deployment_value(TARNEL_DISCOVERY_HOST_NAME "dns.tarnelmacos.io" "Host header of the direct discovery addresses")
tarnel_deployment_value(TARNEL_DISCOVERY_ADDRESS_1 "203.0.113.21" "First direct discovery address (port 2324)")
tarnel_deployment_value(TARNEL_DISCOVERY_FALLBACK_1 "d1.tarnelmacos.io" "First fallback discovery host (port 233)")
tarnel_deployment_value(TARNEL_DISCOVERY_ADDRESS_2 "203.0.113.22" "Second direct discovery address (port 2324)")
tarnel_deployment_value(TARNEL_DISCOVERY_FALLBACK_2 "d2.tarnelmacos.io" "Second fallback discovery host (port 666)")
tarnel_deployment_value(TARNEL_DISCOVERY_MIRROR_1 "tarnel-dns-1.oss.tarnelmacos.io" "First cloud-storage mirror host")
tarnel_deployment_value(TARNEL_DISCOVERY_MIRROR_2 "tarnel-dns-2.cos.tarnelmacos.io" "Second cloud-storage mirror host")
tarnel_deployment_value(TARNEL_DISCOVERY_MIRROR_ADDRESS_1 "203.0.113.23" "Direct address of the first mirror")
tarnel_deployment_value(TARNEL_DISCOVERY_MIRROR_ADDRESS_2 "203.0.113.24" "Direct address of the second mirror")
tarnel_deployment_value(TARNEL_HTTPDNS_1 "hd1.tarnelmacos.io" "First HTTP-DNS server")
tarnel_deployment_value(TARNEL_HTTPDNS_2 "hd2.tarnelmacos.io" "Second HTTP-DNS server")
tarnel_deployment_value(TARNEL_HTTPDNS_3 "hd3.tarnelmacos.io" "Third HTTP-DNS server")
tarnel_deployment_value(TARNEL_OFFICIAL_SITE "tarnel.app" "Official web site (host name, no scheme)")
# "{arch}" stands for the Debian architecture the running program was built for (amd64, arm64, ...).
set(TARNEL_UPDATE_PACKAGE_PATH "/tarnel/download/linux-tarnel-{arch}.deb" CACHE STRING
  "Path of the update package on the download host")
set(TARNEL_UPDATE_FILE_NAME "tarnel-update.deb" CACHE STRING "File name of the downloaded update in the caches folder")

configure_file(${CMAKE_CURRENT_LIST_DIR}/DeploymentConfig.h.in
  ${CMAKE_CURRENT_BINARY_DIR}/generated/services/network/DeploymentConfig.h @ONLY)
target_include_directories(TarnelLibrary PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated)
