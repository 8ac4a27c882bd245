#pragma once
// Windows build only (the include path of cmake/Windows.cmake): the byte-order
// calls that Linux sources take from <arpa/inet.h> are Winsock's. Declared as
// <winsock2.h> declares them, so that a file may see both; <winsock2.h>
// itself would bring <windows.h> and its DWORD into the plug-in's sources.
extern "C" {
__declspec(dllimport) unsigned short __stdcall htons(unsigned short host_short);
__declspec(dllimport) unsigned short __stdcall ntohs(unsigned short net_short);
__declspec(dllimport) unsigned long __stdcall htonl(unsigned long host_long);
__declspec(dllimport) unsigned long __stdcall ntohl(unsigned long net_long);
}
