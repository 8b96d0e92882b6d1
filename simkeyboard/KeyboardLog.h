// The driver's status and request log as KeyboardSim prints them. Plain logic.
#pragma once

#include "KeyboardControl.h"

#include <string>

namespace simkeyboard {

// "plugged=1 interfaces=1 queued=0 open=1 in-flight=0 waiting=0 faults=0 delay=0 requests=12"
std::string StatusLine(const QXSIM_STATUS& status);

// "#12 request connection=3 ioctl=000B0008 in=6 out=400 data=FE0000223478 -> ok returned=0"
std::string RecordLine(const QXSIM_RECORD& record);

} // namespace simkeyboard
