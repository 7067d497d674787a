// The runtime alone with the two entry points: its exported set is what a
// model library may export.
#include "VXR_SupportLib.h"

extern "C" {
VXR_EXPORT const VXR_LibraryVersion* getLibraryVersion(void) { return nullptr; }
VXR_EXPORT const VXR_LibraryManifest* getLibraryManifest(void) { return nullptr; }
}
