# The agent installs as a system service of Debian: below /usr unless told
# otherwise, its config and home where Debian puts them for /usr (/etc and
# /var, which GNUInstallDirs gives for that prefix).
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install prefix" FORCE)
endif()
include(GNUInstallDirs)

# The plug-in and the agent's library are private: the agent finds them by
# its RUNPATH and by this path relative to its own folder.
set(TIDEWELL_INSTALL_LIBDIR lib/velmora)
set(TIDEWELL_INSTALL_CONFIG ${CMAKE_INSTALL_FULL_SYSCONFDIR}/velmora/agent.json)
set(TIDEWELL_INSTALL_HOME ${CMAKE_INSTALL_FULL_LOCALSTATEDIR}/lib/velmora)
file(RELATIVE_PATH TIDEWELL_LIBDIR_FROM_SBIN ${CMAKE_INSTALL_FULL_SBINDIR}
     ${CMAKE_INSTALL_PREFIX}/${TIDEWELL_INSTALL_LIBDIR})
get_filename_component(TIDEWELL_SBIN_NAME ${CMAKE_INSTALL_FULL_SBINDIR} NAME)
