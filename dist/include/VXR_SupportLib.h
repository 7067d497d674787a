/*
 * VXR_SupportLib.h - the runtime's functions and data, as the generated
 * modules and the runtime itself call them. Library code only: it needs
 * VXR_REVISION (187, 160 or 142) and uses the plain names of that revision.
 *
 * Functions marked VXR_EXPORT are exported by every library of the revision
 * and may be used by a host (through dlsym); the rest are internal.
 */
#ifndef VXR_SUPPORTLIB_H
#define VXR_SUPPORTLIB_H

#ifndef VXR_REVISION
#error "VXR_SupportLib.h is for library code: define VXR_REVISION (187, 160 or 142)"
#endif

#include <stdarg.h>
#include "VXR_Interface.h"
#include "VXR_AMS_Interface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Library entry points (defined by each generated module) ---------------- */
VXR_EXPORT const VXR_LibraryVersion* getLibraryVersion(void);
VXR_EXPORT const VXR_LibraryManifest* getLibraryManifest(void);

/* ---- Loaders: null members, static-check loader, RHS-only copy, query mask -- */

/* ---- Messages, memory and error log ---------------------------------------- */

/* ---- Parameters by name, terminal binding ------------------------------------ */

/* ---- Runtime arrays and data services ------------------------------------------ */

/* ---- Hierarchy, events and device state ---------------------------------------- */

/* ---- Files and formatted output ------------------------------------------------- */

/* ---- Checked math and derivative functions -------------------------------------- */

/* ---- Analog operators ----------------------------------------------------------- */

#ifdef __cplusplus
}
#endif

#endif /* VXR_SUPPORTLIB_H */
