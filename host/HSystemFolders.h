#pragma once
// The folder of the running executable as the system tells it, "/"-separated
// and without a trailing separator ("." when it cannot be read): the part of
// HEnvironment that each system reads its own way, with the system folder.
#include "host/HString.h"

HString running_exe_folder();
