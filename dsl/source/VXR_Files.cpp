// Formatted output, file slots and the host's file services; the %b and %r
// converters.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "VXR_SupportLib.h"

namespace {

VXR_SimInterface* hostOf(VXR_DeviceInst* pInst) { return pInst ? pInst->pSimInterface : nullptr; }

// Bounded formatting: a text that does not fit is cut.
void formatInto(char* buf, const char* fmt, va_list ap) {
    if (!fmt) {
        buf[0] = '\0';
        return;
    }
    if (std::vsnprintf(buf, VXR_TEXT_BUFSIZE, fmt, ap) < 0) buf[0] = '\0';
}

bool isReadMode(const char* mode) { return mode && mode[0] == 'r'; }

// Every slot with an open stream in read mode.
template <class Fn>
void forEachReadFile(VXR_DeviceInst* pInst, Fn fn) {
#if VXR_REVISION == 187
    if (!pInst || !pInst->pFileDescs) return;
    for (int i = 0; i < pInst->numOfFileDescs; ++i) {
        VXR_FileDesc* fd = pInst->pFileDescs[i];
        if (fd && fd->pFile && isReadMode(fd->mode)) fn(fd);
    }
#else
    if (!pInst) return;
    for (VXR_FileDesc* fd = pInst->pFileDescList; fd; fd = fd->pNext)
        if (fd->pFile && isReadMode(fd->mode)) fn(fd);
#endif
}

}  // namespace

extern "C" {

void VXR_WriteMsg(VXR_MessageTypeE msgType, VXR_DeviceInst* pInst, const char* formatStr, ...) {
    VXR_SimInterface* host = hostOf(pInst);
    if (!host || !host->pMessage) return;  // nowhere to send it
    char text[VXR_TEXT_BUFSIZE];
    va_list ap;
    va_start(ap, formatStr);
    formatInto(text, formatStr, ap);
    va_end(ap);
    if constexpr (VXR_REVISION == 187) {
        if (msgType == MessageTypeE_WARNING && VXR_IsMessageDuplicate(text, host)) return;
    }
    host->pMessage(msgType, text, pInst, host);
}

// ---- File slots --------------------------------------------------------------

#if VXR_REVISION == 187

void VXR_initFileDescs(VXR_DeviceInst* pInst) {
    if (!pInst || !pInst->pFileDescs) return;
    for (int i = 0; i < pInst->numOfFileDescs; ++i)
        pInst->pFileDescs[i] =
            static_cast<VXR_FileDesc*>(VXR_calloc(1, sizeof(VXR_FileDesc), pInst->pSimInterface, pInst, nullptr));
}

void VXR_freeFileDescs(VXR_DeviceInst* pInst) {
    if (!pInst) return;
    if (pInst->pFileDescs)
        for (int i = 0; i < pInst->numOfFileDescs; ++i) VXR_free(pInst->pFileDescs[i]);
    VXR_free(pInst->pFileDescs);
    pInst->pFileDescs = nullptr;
    pInst->numOfFileDescs = 0;
}

#else

// The older revisions keep one list node per open file, made by VXR_FileOpen.
void VXR_initFileDescs(VXR_DeviceInst*) {}

void VXR_freeFileDescs(VXR_DeviceInst* pInst) {
    if (!pInst) return;
    VXR_FileDesc* fd = pInst->pFileDescList;
    while (fd) {
        VXR_FileDesc* next = fd->pNext;
        VXR_free(fd);
        fd = next;
    }
    pInst->pFileDescList = nullptr;
}

#endif

void VXR_acceptFileDescs(VXR_DeviceInst* pInst) {
    VXR_SimInterface* host = hostOf(pInst);
    if (!host || !host->pFileTell) return;
    forEachReadFile(pInst, [&](VXR_FileDesc* fd) { fd->pos = host->pFileTell(fd->pFile, pInst, host); });
}

void VXR_positionFileDescs(VXR_DeviceInst* pInst) {
    VXR_SimInterface* host = hostOf(pInst);
    if (!host || !host->pFileSeek) return;
    forEachReadFile(pInst, [&](VXR_FileDesc* fd) { host->pFileSeek(fd->pFile, fd->pos, pInst, host); });
}

int VXR_FileOpen(VXR_DeviceInst* pInst, const char* fileName, const char* modeStr, int ix) {
    VXR_SimInterface* host = hostOf(pInst);
    if (!fileName || !host || !host->pFileOpen) return 0;
    FILE* stream = nullptr;
    const char* openMode = nullptr;
    const int fd = host->pFileOpen(fileName, modeStr, &stream, &openMode, ix, pInst, host);
#if VXR_REVISION != 187
    if (fd != 0) {
        auto* node = static_cast<VXR_FileDesc*>(VXR_calloc(1, sizeof(VXR_FileDesc), host, pInst, nullptr));
        if (node) {
            node->pFile = stream;
            node->mode = openMode;
            node->fd = fd;
            VXR_FileDesc** tail = &pInst->pFileDescList;
            while (*tail) tail = &(*tail)->pNext;
            *tail = node;
        }
    }
#endif
    return fd;
}

void VXR_FileClose(VXR_DeviceInst* pInst, int fd) {
    VXR_SimInterface* host = hostOf(pInst);
    if (fd == 0 || !host || !host->pFileClose) return;
    host->pFileClose(fd, pInst, host);
#if VXR_REVISION != 187
    // The stream is gone: its node must not be told or seeked again.
    for (VXR_FileDesc** link = &pInst->pFileDescList; *link; link = &(*link)->pNext) {
        if ((*link)->fd == fd) {
            VXR_FileDesc* dead = *link;
            *link = dead->pNext;
            VXR_free(dead);
            break;
        }
    }
#endif
}

void VXR_FileFlush(VXR_DeviceInst* pInst, int fd) {
    VXR_SimInterface* host = hostOf(pInst);
    if (fd == 0 || !host || !host->pFileFlush) return;
    host->pFileFlush(fd, pInst, host);
}

// ---- Text --------------------------------------------------------------------

void VXR_WriteFile(int fd, VXR_DeviceInst* pInst, const char* formatStr, ...) {
    VXR_SimInterface* host = hostOf(pInst);
    if (fd == 0 || !host || !host->pFileWrite) return;
    char text[VXR_TEXT_BUFSIZE];
    va_list ap;
    va_start(ap, formatStr);
    formatInto(text, formatStr, ap);
    va_end(ap);
    host->pFileWrite(fd, text, pInst, host);
}

void VXR_WriteString(const char** ppString, VXR_DeviceInst* pInst, const char* formatStr, ...) {
    if (!ppString) return;
    char text[VXR_TEXT_BUFSIZE];
    va_list ap;
    va_start(ap, formatStr);
    formatInto(text, formatStr, ap);
    va_end(ap);
    *ppString = VXR_strdup(text, hostOf(pInst), pInst);
}

int VXR_scanSingle(int fd, VXR_DeviceInst* pInst, const char* formatStr, void* pArg, int* pFail) {
    if (pFail && *pFail) return 0;
    VXR_SimInterface* host = hostOf(pInst);
    if (!host || !host->pFileScanf) return 0;
    if (host->pFileScanf(fd, formatStr, pArg, pInst, host) >= 1) return 1;
    if (pArg && pFail) *pFail = 1;
    return 0;
}

int VXR_fgets(VXR_DeviceInst* pInst, char** ppString, int fd) {
    VXR_SimInterface* host = hostOf(pInst);
    if (!host || !host->pFileScanf) return 0;
    char line[VXR_TEXT_BUFSIZE];
    int n = 0;
    // Like fgets: a line longer than the buffer is returned in pieces.
    while (n < VXR_TEXT_BUFSIZE - 1) {
        char c = 0;
        if (host->pFileScanf(fd, "%c", &c, pInst, host) < 1 || c == '\n') break;
        line[n++] = c;
    }
    line[n] = '\0';
    if (ppString) *ppString = VXR_strdup(line, host, pInst);
    return n;
}

int VXR_sscanf(const char* s, VXR_DeviceInst*, const char* formatStr, ...) {
    if (!s || !formatStr) return 0;
    va_list ap;
    va_start(ap, formatStr);
    const int n = std::vsscanf(s, formatStr, ap);
    va_end(ap);
    return n;
}

// ---- %b and %r ---------------------------------------------------------------

const char* VXR_ConvertToBinary(int n, char* buf) {
    if (n == 0) return "0";
    char* p = buf;
    unsigned m;
    if (n == INT_MIN) {
        m = 0x80000000u;  // written as its bit pattern, without a sign
    } else if (n < 0) {
        *p++ = '-';
        m = 0u - static_cast<unsigned>(n);
    } else {
        m = static_cast<unsigned>(n);
    }
    int hi = 31;
    while (!((m >> hi) & 1u)) --hi;
    for (int b = hi; b >= 0; --b) *p++ = ((m >> b) & 1u) ? '1' : '0';
    *p = '\0';
    return buf;
}

const char* VXR_ConvertToEngFormat(double x, char* buf) {
    constexpr size_t kOut = 16;
    const double ax = std::fabs(x);
    if (!(ax >= 1e-18 && ax < 1e15)) {
        if (x == 0.0)
            std::snprintf(buf, kOut, "0");
        else
            std::snprintf(buf, kOut, "%e", x);
        return buf;
    }
    char work[32];
    std::snprintf(work, sizeof work, "%e", ax);
    // Exponent digits from the end; its sign is not read.
    int len = static_cast<int>(std::strlen(work));
    int e = 0, scale = 1;
    for (int i = len - 1; i >= 0 && std::isdigit(static_cast<unsigned char>(work[i])); --i) {
        e += (work[i] - '0') * scale;
        scale *= 10;
    }
    const int d = e % 3;
    static constexpr char kLarge[] = " KMGT";
    static constexpr char kSmall[] = " munpfa";
    int shift, idx;
    char letter;
    if (ax >= 1.0) {
        shift = d;
        idx = (e - d) / 3;
        letter = idx < static_cast<int>(sizeof kLarge) - 1 ? kLarge[idx] : '\0';
    } else {
        shift = 3 - d;
        idx = (e + shift) / 3;
        letter = idx < static_cast<int>(sizeof kSmall) - 1 ? kSmall[idx] : '\0';
    }
    if (letter == '\0') {
        // Rounding carried the value past the letter table: no scale fits.
        std::snprintf(buf, kOut, "%e", x);
        return buf;
    }
    char* point = std::strchr(work, '.');
    for (int s = 0; s < shift && point && std::isdigit(static_cast<unsigned char>(point[1])); ++s) {
        point[0] = point[1];
        point[1] = '.';
        ++point;
    }
    size_t cut = 0;
    while (work[cut] && (std::isdigit(static_cast<unsigned char>(work[cut])) || work[cut] == '.')) ++cut;
    work[cut] = '\0';
    // The digits are cut to what the output holds (sign and letter beside them).
    std::snprintf(buf, kOut, "%s%.*s%c", x < 0.0 ? "-" : "", static_cast<int>(kOut) - 3, work, letter);
    return buf;
}

}  // extern "C"
