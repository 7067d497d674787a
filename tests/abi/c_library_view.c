/* The library view of the public headers compiles as C for every revision. */
#include "VXR_SupportLib.h"

int vxr_c_library_view_check(const VXR_ModuleDescriptor* d) { return d->numOfParams + (int)sizeof(VXR_DeviceInst); }
