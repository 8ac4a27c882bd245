# The layers of the build. Each layer is a library that sees its own folders
# and those of the layers it links, nothing else: every folder has an include
# root of its own in the build tree (build/layers/<folder>/<folder> links to
# the source folder), so `#include "arpguard/X.h"` from a layer that does not
# link the ARP guard fails to compile. From the bottom:
#   tidewell_platform  platform/, wire/        the Windows calls, for Linux; addresses
#   velmora_host       host/, host/<system>/   the agent's libraries (with platform)
#   tidewell_frame     frame/ (not the exports) global state, report path, audit store
#   tidewell_dhcp      dhcpguard/, res/        the DHCP guard and its alarm dialog
#   tidewell_arp       arpguard/, arpwatch/    the ARP guard with its watch; hands
#                                              ARP senders to the DHCP probe
#   tidewell_more      cacherepair/, dhcpservers/, neighwatch/, ipv6guard/
#   tidewell_exports   frame/Tidewell.cpp, frame/HGuardModules.cpp, frame/HStateView.cpp
# The plug-in (tidewell, tidewell_core) is the objects of the five plug-in
# layers. The agent, the tests, the benchmarks and the fuzz targets are above
# every layer and see the source root.

# Gives `target` the include roots of `folders` (PUBLIC, or INTERFACE for an
# interface library).
function(tidewell_layer_roots target)
  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  foreach(folder ${ARGN})
    set(root ${CMAKE_BINARY_DIR}/layers/${folder})
    if(NOT EXISTS ${root}/${folder})
      file(MAKE_DIRECTORY ${root})
      file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
    endif()
    target_include_directories(${target} ${scope} ${root})
  endforeach()
endfunction()

# The plug-in's layers; the folders' CMakeLists.txt add their sources.
function(tidewell_plugin_layers)
  add_library(tidewell_frame OBJECT)
  tidewell_layer_roots(tidewell_frame frame)
  target_link_libraries(tidewell_frame PUBLIC velmora_host)

  add_library(tidewell_dhcp OBJECT)
  tidewell_layer_roots(tidewell_dhcp dhcpguard)
  target_link_libraries(tidewell_dhcp PUBLIC tidewell_frame tidewell_res)
  # The DHCP guard's ARP watch reads the probe marker from the ARP watch's
  # header: that one header, not the ARP layer.
  set(marker_root ${CMAKE_BINARY_DIR}/layers/probe-marker)
  if(NOT EXISTS ${marker_root}/arpwatch/HTWPkgCallback.h)
    file(MAKE_DIRECTORY ${marker_root}/arpwatch)
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/arpwatch/HTWPkgCallback.h ${marker_root}/arpwatch/HTWPkgCallback.h SYMBOLIC)
  endif()
  target_include_directories(tidewell_dhcp PRIVATE ${marker_root})

  add_library(tidewell_arp OBJECT)
  tidewell_layer_roots(tidewell_arp arpguard arpwatch)
  target_link_libraries(tidewell_arp PUBLIC tidewell_dhcp)

  add_library(tidewell_more OBJECT)
  tidewell_layer_roots(tidewell_more cacherepair dhcpservers neighwatch ipv6guard)
  target_link_libraries(tidewell_more PUBLIC tidewell_arp)

  add_library(tidewell_exports OBJECT)
  target_link_libraries(tidewell_exports PUBLIC tidewell_more)

  foreach(folder frame dhcpguard arpguard arpwatch cacherepair dhcpservers neighwatch ipv6guard)
    add_subdirectory(${CMAKE_SOURCE_DIR}/${folder} ${CMAKE_BINARY_DIR}/${folder})
  endforeach()
  set(TIDEWELL_PLUGIN_LAYERS tidewell_frame tidewell_dhcp tidewell_arp tidewell_more tidewell_exports PARENT_SCOPE)
endfunction()
