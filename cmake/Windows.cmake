# The Windows build: the plug-in's layers (cmake/Layers.cmake) as they are,
# over the Windows side of platform/ and host/ (platform/win/, host/win/). Tidewell.dll carries the dialog resource of
# res/Tidewell.rc and the export table of frame/Tidewell.def; the agent's
# libraries are velmora_host.dll; tidewell-host.exe (agent/win/) drives the
# DLL. Programs and tests run under Wine (tests/win/wine-run.sh).
enable_language(C)
enable_language(RC)

option(TIDEWELL_TESTS "Build the unit tests" ON)

add_compile_options(-Wall -Wextra)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)

find_package(Threads REQUIRED)
include(${CMAKE_SOURCE_DIR}/cmake/Layers.cmake)
# Sources written against <arpa/inet.h> get Winsock's byte-order calls.
include_directories(BEFORE SYSTEM ${CMAKE_SOURCE_DIR}/platform/win/include)

# The GCC runtime lives in DLLs of its own, one copy for the host program,
# velmora_host.dll and Tidewell.dll; they go beside them.
foreach(runtime_dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime_dll}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}")
    find_file(runtime_path_${runtime_dll} ${runtime_dll} PATHS /usr/${TIDEWELL_MINGW_PREFIX}/lib NO_DEFAULT_PATH)
    set(runtime_path ${runtime_path_${runtime_dll}})
  endif()
  if(NOT EXISTS "${runtime_path}")
    message(FATAL_ERROR "the mingw-w64 runtime ${runtime_dll} is missing")
  endif()
  file(COPY ${runtime_path} DESTINATION ${CMAKE_BINARY_DIR}/bin)
endforeach()

# platform/: the files that hold no Linux call, and the Windows side of the
# rest.
set(WIN_PLATFORM_SHARED AfxWin.cpp ArpCommand.cpp IpHelper.cpp MemoryArpTable.cpp MemoryIpv6Table.cpp ProcessLauncher.cpp SystemLogSink.cpp Utf8.cpp VirtualArpTable.cpp)
list(TRANSFORM WIN_PLATFORM_SHARED PREPEND ${CMAKE_SOURCE_DIR}/platform/)
file(GLOB WIN_PLATFORM_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/win/*.cpp ${CMAKE_SOURCE_DIR}/wire/*.cpp)

# host/: the files shared by both systems, and host/win/ in place of
# host/linux/. The files that write the logs, the archive, the core's
# records and the console lines make POSIX file calls: PosixCompat.h gives
# them their Linux meaning.
file(GLOB WIN_HOST_SHARED CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/*.cpp)
set(WIN_HOST_POSIX_FILES HArchiveFile HConsoleWriter HCoreJson HDataCenter HFileLog HLogFile HLogFormat)
list(TRANSFORM WIN_HOST_POSIX_FILES PREPEND ${CMAKE_SOURCE_DIR}/host/)
list(TRANSFORM WIN_HOST_POSIX_FILES APPEND .cpp)
set_source_files_properties(${WIN_HOST_POSIX_FILES} PROPERTIES
  COMPILE_OPTIONS "-include;${CMAKE_SOURCE_DIR}/host/win/PosixCompat.h")
file(GLOB WIN_HOST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/win/*.cpp)

add_library(tidewell_platform OBJECT ${WIN_PLATFORM_SHARED} ${WIN_PLATFORM_SOURCES})
tidewell_layer_roots(tidewell_platform platform wire)
target_link_libraries(tidewell_platform PUBLIC Threads::Threads ws2_32)
add_library(velmora_host SHARED ${WIN_HOST_SHARED} ${WIN_HOST_SOURCES})
tidewell_layer_roots(velmora_host host)
set_target_properties(velmora_host PROPERTIES PREFIX "")
target_link_libraries(velmora_host PUBLIC tidewell_platform Threads::Threads ws2_32 PRIVATE iphlpapi user32)

# The plug-in, from the same layers and files as on Linux.
add_subdirectory(${CMAKE_SOURCE_DIR}/res ${CMAKE_BINARY_DIR}/res)
tidewell_plugin_layers()
set(TIDEWELL_RC ${CMAKE_SOURCE_DIR}/res/Tidewell.rc)
set_source_files_properties(${TIDEWELL_RC} PROPERTIES COMPILE_FLAGS "-c 65001")
add_library(tidewell SHARED ${CMAKE_SOURCE_DIR}/frame/Tidewell.def ${TIDEWELL_RC})
set_target_properties(tidewell PROPERTIES OUTPUT_NAME Tidewell PREFIX "")
target_link_libraries(tidewell PUBLIC ${TIDEWELL_PLUGIN_LAYERS})
add_library(tidewell_core STATIC)
target_link_libraries(tidewell_core PUBLIC ${TIDEWELL_PLUGIN_LAYERS})

# nlohmann/json, the header only, without the rest of the Linux include
# folder: the agent's config reader in the host program and the tests.
find_path(TIDEWELL_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT TIDEWELL_JSON_INCLUDE)
  message(FATAL_ERROR "nlohmann/json.hpp is missing (apt-get install nlohmann-json3-dev)")
endif()
set(WIN_JSON_DIR ${CMAKE_BINARY_DIR}/deps/include)
file(MAKE_DIRECTORY ${WIN_JSON_DIR})
file(CREATE_LINK ${TIDEWELL_JSON_INCLUDE}/nlohmann ${WIN_JSON_DIR}/nlohmann SYMBOLIC)

# The host program.
add_subdirectory(${CMAKE_SOURCE_DIR}/agent/win ${CMAKE_BINARY_DIR}/agent/win)

if(TIDEWELL_TESTS)
  enable_testing()
  add_subdirectory(${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_BINARY_DIR}/tests/win)
endif()
