#pragma once
// What the simulated data source manager offers besides DSM_Entry, for tests:
// resolve these names through DsmLibrary::resolve.
//   "TwainSim_LiveHandles"   blocks of the manager's memory still live
//   "DSM_MemSize"            bytes of one of the manager's blocks (0 unknown);
//                            the application's dsmMemSize asks it
//   "TwainSim_SetTraceSink"  receives every trace line (also written to
//                            standard error); null stops it
//   "TwainSim_SetCallHook"   runs inside every DSM_Entry call, after the call
//                            has been counted as running and before it acts,
//                            so a test can make a second call overlap it
// The sources come from the JSON file named by VOSTRA_TWAIN_SIM_SOURCES, or
// from "twainsim.json" beside the library; the file is read at MSG_OPENDSM.

#include "twain.h"

extern "C" {
typedef void (*TwainSimTraceSink)(const char *line, void *context);
typedef void (*TwainSimCallHook)(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message, void *context);
typedef int (*TwainSimLiveHandlesProc)(void);
typedef void (*TwainSimSetTraceSinkProc)(TwainSimTraceSink sink, void *context);
typedef void (*TwainSimSetCallHookProc)(TwainSimCallHook hook, void *context);
}
