/* Prints the version, manifest and descriptor summary of model libraries.
 * Written in C against dist/include alone, as a host would be. */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "VXR_Interface.h"

/* Summary of one descriptor layout; the revision macros pick the types. */
#define PRINT_DESCRIPTOR(PFX, manifestPtr)                                                        \
    do {                                                                                          \
        const PFX##LibraryManifest* man = (const PFX##LibraryManifest*)(manifestPtr);               \
        const PFX##ModuleDescriptor* d = man->pModules;                                             \
        int i;                                                                                    \
        printf("  modules: %d  build id: %s\n", man->numOfModules, man->buildId ? man->buildId : "-");  \
        printf("  module: %s  terminals:", d->moduleName);                                        \
        for (i = 0; i < d->numOfTerminals; ++i) printf(" %s", d->terminalNames[i]);              \
        printf("\n  parameters (%d):", d->numOfParams);                                           \
        for (i = 0; i < d->numOfParams; ++i) printf(" %s", d->paramDescArray[i].name);           \
        printf("\n");                                                                             \
    } while (0)

static int describe(const char* path) {
    void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        return 1;
    }
    const VXR_LibraryVersion* (*getVersion)(void);
    const void* (*getManifest)(void);
    *(void**)&getVersion = dlsym(h, "getLibraryVersion");
    *(void**)&getManifest = dlsym(h, "getLibraryManifest");
    if (!getVersion || !getManifest) {
        fprintf(stderr, "%s: not a model library (entry points missing)\n", path);
        dlclose(h);
        return 1;
    }
    const VXR_LibraryVersion* v = getVersion();
    printf("%s\n  interface revision %s (%s)\n", path, v->revision,
           v->fullRevision ? v->fullRevision : "no full revision");
    const void* m = getManifest();
    switch (v->minor) {
    case 87: PRINT_DESCRIPTOR(VXR187_, m); break;
    case 60: PRINT_DESCRIPTOR(VXR160_, m); break;
    case 42: PRINT_DESCRIPTOR(VXR142_, m); break;
    default: fprintf(stderr, "%s: unknown interface revision %d\n", path, v->minor); dlclose(h); return 1;
    }
    dlclose(h);
    return 0;
}

int main(int argc, char** argv) {
    int rc = 0, i;
    if (argc < 2) {
        fprintf(stderr, "usage: %s LIBRARY...\n", argv[0]);
        return 2;
    }
    for (i = 1; i < argc; ++i) rc |= describe(argv[i]);
    return rc;
}
