// A saved operator state written to and read from bytes through its own
// pSerializeSelf, for tests.
#pragma once

#include <cstdio>
#include <string>

#include "VXR_SupportLib.h"

#if VXR_REVISION != 142 // 1.42 states have no serializer of their own
namespace vxrtest {

// The bytes the state writes; *dir as it ends.
inline std::string writeState(VXR_GenericOperatorState* state, VXR_SrlzDirE* dir) {
    FILE* f = std::tmpfile();
    state->pSerializeSelf(state, f, dir);
    std::string bytes(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) bytes.clear();
    std::fclose(f);
    return bytes;
}

// Reads the bytes into the state; the direction it ends with.
inline VXR_SrlzDirE readState(VXR_GenericOperatorState* state, const std::string& bytes) {
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::rewind(f);
    VXR_SrlzDirE dir = SRLZ_FROM_FILE;
    state->pSerializeSelf(state, f, &dir);
    std::fclose(f);
    return dir;
}

} // namespace vxrtest
#endif
