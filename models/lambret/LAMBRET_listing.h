// Embedded source listing of the LAMBRET module, generated at build time from
// veriloga/include/{discipline,constants}.h and LAMBRET.va (tools/gen_listing).
#ifndef LAMBRET_LISTING_H
#define LAMBRET_LISTING_H

#include "VXR_Interface.h"

extern const char SourcePath_file0[];
extern const char SourcePath_file1[];
extern const char SourcePath_file2[];
extern const int SourceLineCount_file0;
extern const int SourceLineCount_file1;
extern const int SourceLineCount_file2;
extern char* SourceLines_file0[];
extern char* SourceLines_file1[];
extern char* SourceLines_file2[];
extern s_SourceDataList Source_file2[];

#endif
