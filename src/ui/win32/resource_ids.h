#pragma once
// Resource numbers shared by the resource scripts and the window; plain defines for windres.
#define IDI_DRIVE_REFUSED 200
#define IDI_DRIVE_READY 201
#define IDI_APP 100
