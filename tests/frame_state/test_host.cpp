#include "test_host.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <unistd.h>

#include "VXR_FrameServices.h"

HostRecord g_host;

namespace {

struct OpenFile {
    std::string name;
    FILE* f;
    std::string mode;
};
std::map<int, OpenFile> g_files;
int g_nextFd = 3;

void hostMessage(VXR_MessageTypeE t, const char* text, VXR_DeviceInst*, VXR_SimInterface*) {
    g_host.messages.emplace_back(t, text);
}

void hostDebug(VXR_DebugEventTypeE e, VXR_DeviceInst*, int, const char* tag, VXR_ContribLoader*) {
    g_host.debugEvents.emplace_back(e, tag ? tag : "");
}

void* hostSaveCross(VXR_EventDesc* ev) {
    // A saved copy the frame releases with VXR_free.
    auto* copy = static_cast<VXR_EventDesc**>(VXR_malloc(sizeof(VXR_EventDesc*), nullptr, nullptr, nullptr));
    *copy = ev;
    return copy;
}
void hostRestoreCross(VXR_EventDesc*, void* saved) { g_host.restoredCross.push_back(saved); }

#if VXR_REVISION == 142
void freeDelay(void* p) { g_host.hostFrees.emplace_back("delay", p), std::free(p); }
void freeSlew(void* p) { g_host.hostFrees.emplace_back("slew", p), std::free(p); }
void freeTransition(void* p) { g_host.hostFrees.emplace_back("transition", p), std::free(p); }
void freePoleRes(void* p) { g_host.hostFrees.emplace_back("poleres", p), std::free(p); }
#endif

int fileOpen(const char* name, const char* mode, FILE** stream, const char** openMode, int, VXR_DeviceInst*,
             VXR_SimInterface*) {
    FILE* f = std::fopen(name, mode);
    if (!f) return 0;
    const int fd = g_nextFd++;
    g_files[fd] = {name, f, mode};
    *stream = f;
    *openMode = g_files[fd].mode.c_str();
    return fd;
}
void fileClose(int fd, VXR_DeviceInst*, VXR_SimInterface*) {
    auto it = g_files.find(fd);
    if (it == g_files.end()) return;
    std::fclose(it->second.f);
    g_files.erase(it);
}
void fileWrite(int fd, const char* text, VXR_DeviceInst*, VXR_SimInterface*) { std::fputs(text, g_files.at(fd).f); }
int fileScanf(int fd, const char* fmt, void* target, VXR_DeviceInst*, VXR_SimInterface*) {
    ++g_host.scanCalls;
    return std::fscanf(g_files.at(fd).f, fmt, target);
}
void fileFlush(int fd, VXR_DeviceInst*, VXR_SimInterface*) { std::fflush(g_files.at(fd).f); }
int fileSeek(FILE* f, long pos, VXR_DeviceInst*, VXR_SimInterface*) {
    g_host.seeks.emplace_back(hostFileName(f), pos);
    return std::fseek(f, pos, SEEK_SET);
}
long fileTell(FILE* f, VXR_DeviceInst*, VXR_SimInterface*) { return std::ftell(f); }

#if VXR_REVISION == 187
double loaderDefault(VXR_DefaultTypeE t, VXR_ContribLoader*, VXR_DeviceInst*) { return g_host.defaults[t]; }
#else
double loaderDefault(VXR_DefaultTypeE t, VXR_ContribLoader*) { return g_host.defaults[t]; }
#endif

}  // namespace

void resetHost() { g_host = HostRecord{}; }

void initHost(VXR_SimInterface& si) {
    std::memset(&si, 0, sizeof si);
    si.pMessage = hostMessage;
    si.pHandleDebugEvent = hostDebug;
    si.pSaveCrossEvent = hostSaveCross;
    si.pRestoreCrossEvent = hostRestoreCross;
#if VXR_REVISION == 142
    si.pFreeDelaySpec = freeDelay;
    si.pFreeSlewSpec = freeSlew;
    si.pFreeTransitionSpec = freeTransition;
    si.pFreePoleResSpec = freePoleRes;
#endif
    si.pFileOpen = fileOpen;
    si.pFileClose = fileClose;
    si.pFileWrite = fileWrite;
    si.pFileScanf = fileScanf;
    si.pFileFlush = fileFlush;
    si.pFileSeek = fileSeek;
    si.pFileTell = fileTell;
}

void initLoader(VXR_ContribLoader& ldr) {
    std::memset(&ldr, 0, sizeof ldr);
    ldr.pGetDefault = loaderDefault;
}

std::string writeTempFile(const std::string& content) {
    char name[] = "/tmp/vxr_frame_state_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    if (!content.empty() && write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size()))
        std::abort();
    close(fd);
    return name;
}

const char* hostFileName(FILE* f) {
    for (auto& [fd, of] : g_files)
        if (of.f == f) return of.name.c_str();
    return "?";
}

void closeAllHostFiles() {
    for (auto& [fd, of] : g_files) {
        std::fclose(of.f);
        std::remove(of.name.c_str());
    }
    g_files.clear();
}
