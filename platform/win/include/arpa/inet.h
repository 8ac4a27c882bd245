#pragma once
// Windows build only (the include path of cmake/Windows.cmake): what Linux
// sources take from <arpa/inet.h> is Winsock's. Declared as <winsock2.h> and
// <ws2tcpip.h> declare it, so that a file may see both; those headers
// themselves would bring <windows.h> and its DWORD into the plug-in's sources.
#include <inaddr.h>

#ifndef AF_INET
#define AF_INET 2
#endif

extern "C" {
__declspec(dllimport) unsigned short __stdcall htons(unsigned short host_short);
__declspec(dllimport) unsigned short __stdcall ntohs(unsigned short net_short);
__declspec(dllimport) unsigned long __stdcall htonl(unsigned long host_long);
__declspec(dllimport) unsigned long __stdcall ntohl(unsigned long net_long);
__declspec(dllimport) unsigned long __stdcall inet_addr(const char* text);
__declspec(dllimport) int __stdcall inet_pton(int family, const char* text, void* address);
}
