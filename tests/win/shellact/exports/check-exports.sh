#!/usr/bin/env bash
# Usage: check-exports.sh Corvix.dll CALLER.exe
# Corvix.dll must export exactly the sixteen CVXP_ names, undecorated, and the
# caller must import each of them by that name from Corvix.dll.
set -u
dll=$1 caller=$2
expected=$(sort <<'NAMES'
CVXP_CDDriveDoorClose
CVXP_CDDriveDoorOpen
CVXP_CloseWindow
CVXP_FreeRegistryHandle
CVXP_GenerateKeyStroke
CVXP_GetCDDriveName
CVXP_GetLastErrorMsg
CVXP_GetNumOfCDDrives
CVXP_GetRegistryHandle
CVXP_GetRegistryValue
CVXP_GetWindowsVersion
CVXP_OpenURL
CVXP_PlayAudioCD
CVXP_SetPowerState
CVXP_SndRec32
CVXP_XferCalcResult
NAMES
)

exports=$(objdump -p "$dll" |
  awk '/^\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF} on && /^$/{on=0}' |
  sort)
imports=$(objdump -p "$caller" |
  awk 'tolower($0) ~ /dll name: corvix\.dll/{on=1; next} on && /^[[:space:]]*$/{on=0} on && $NF ~ /^CVXP_/{print $NF}' |
  sort)

status=0
if [ "$exports" != "$expected" ]; then
  echo "Corvix.dll exports differ from the sixteen plain names:"
  diff <(echo "$expected") <(echo "$exports")
  status=1
fi
if [ "$imports" != "$expected" ]; then
  echo "the caller's imports from Corvix.dll differ from the sixteen plain names:"
  diff <(echo "$expected") <(echo "$imports")
  status=1
fi
exit $status
