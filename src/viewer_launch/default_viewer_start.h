// The default viewer's start: the .NET Framework 2.0 runtime check, the
// installer offer, and Program/DICOMViewer.exe with the medium's DICOMDIR.
#pragma once

// Registry key (under HKEY_LOCAL_MACHINE) whose presence means the runtime is installed.
extern const char *const kDotNet2Key;

// 0 when the runtime's registry key exists, -1 otherwise.
int isDotNet2Installed();

// Start thread of the default viewer (viewerLaunching raised). While the
// runtime is missing, offers the installer from the medium and waits for it.
// 0 when the viewer was started; -1 when the user refused the installer
// (viewerLaunching lowered) or the viewer could not be started (the failure is
// reported and the launch ended).
int startDefaultViewer();
