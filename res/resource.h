// Resource ids of the plug-in; read by the resource compiler and by C++.
#pragma once

#define IDD_DHCP_ALARM 6011
#define IDC_EDIT_MSG 6021
