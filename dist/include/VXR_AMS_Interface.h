/*
 * VXR_AMS_Interface.h - mixed-signal records of interface revision 1.87: the
 * host's AMS block (s_VXR_AMS_SimInterface, reached through the host table's
 * pAMS) and the loader's AMS sub-table (s_AMS_ContribLoader).
 *
 * Expanded by VXR_InterfaceRev.h inside the revision 1.87 pass; including it
 * directly includes VXR_Interface.h instead.
 */
#if !defined(VXR_TEMPLATE_PASS)
#include "VXR_Interface.h"
#else

/* Host-owned mixed-signal block. */
struct VXR_TS(AMS_SimInterface) {
    unsigned Abort : 1;
    unsigned NoAMS_Allowed : 1;
    unsigned EnableAMS : 1;
    unsigned RequireAMS : 1;
    unsigned FreqInitAMS : 1;
    unsigned UpdateD2A : 1;
    unsigned AMS_ReportDiscipline : 1;
    unsigned AchievedD2A : 1;
    double D2A_Time;
    double TargetTime;
    double AchievedTime;
    double PrevTime;
    double TimeScale;
    VXR_T(ContribLoader) * ldr;
    double OP_TimeStop;
    int OP_MaxIters;
    int OP_Iteration;
    char* topAMS_FileName;
    char* topAMS_Module;
    int numberTopModules;
    s_FileLink* Files;
    SourceChangeMap* ChangeMap;
    VXR_T(DisciplineDescriptor) * pDefaultDiscipline;
    LinkString* pTopCMs;
    InstVectorCMname* pVectorCMs;
    int (*pVXR_ReportArray)(VXR_T(Array) *, int, int);
    int (*pVXR_ExportArray)(VXR_T(Array) *, int, VXR_T(ContribLoader) *);
    int (*pVXR_DigitalCompile)(const char*, VXR_T(SimInterface) *);
    int (*pVXR_DigitalElaborate)(const char*, VXR_T(SimInterface) *);
    int (*pVXR_DigitalSimulate)(const char*, VXR_T(SimInterface) *);
    int (*pVXR_SetupIPC)(VXR_T(SimInterface) *);
    char* (*pVXR_NameToVerilog)(VXR_T(DeviceInst) *);
};

/* Loader's AMS sub-table (15 members). Element readers take
 * (instance, loader, index, offset, size, ...). */
struct VXR_TX(s_AMS_ContribLoader) {
    int (*pD2A_EventSignal)(VXR_T(EventDesc) *, double, VXR_T(ContribLoader) *);
    int (*pGetD2A_IntFromLogic)(int, VXR_T(ContribLoader) *);
    LogicNumber* (*pGetD2A_Logic)(int, VXR_T(ContribLoader) *);
    double (*pGetD2A_Real)(int, VXR_T(ContribLoader) *);
    int (*pGetD2A_Integer)(int, VXR_T(ContribLoader) *);
    int (*pGetD2A_IntFromLogicElement)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *, int index, int offset,
                                       int size, ...);
    LogicNumber* (*pGetD2A_LogicElement)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *, int index, int offset,
                                         int size, ...);
    double (*pGetD2A_RealElement)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *, int index, int offset, int size,
                                  ...);
    int (*pGetD2A_IntegerElement)(VXR_T(DeviceInst) *, VXR_T(ContribLoader) *, int index, int offset, int size,
                                  ...);
    double (*pA2D)(int, VXR_T(ContribLoader) *);
    double* pA2D_SM;
    VXR_ComplexNumber* pA2D_SMenv;
    int numEnvFreqs;
    double* envFreqs;
    void (*pGetEnvSol)(int, VXR_T(StateVar) *, VXR_T(StateVar) *, VXR_T(ContribLoader) *, VXR_T(DeviceInst) *);
};
VXR_CHECK_SIZE(VXR_TX(AMS_ContribLoader), 15 * 4, 15 * 8);

#endif /* VXR_TEMPLATE_PASS */
