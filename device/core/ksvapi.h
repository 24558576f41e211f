/*
 * The C interface of the crate-system library (libksvapi: crates and the
 * modules in their slots) and the module library (libksv27api: one KSV27).
 *
 * This header is the contract between the program and the two libraries.
 * The records cross the boundary by address, so their byte layout is fixed
 * here and checked at compile time; every byte not named is the library's.
 *
 * All operations are synchronous and return a signed 32-bit status, 0 for
 * success. KSV27_Recv returns a word count (negative on error) and
 * KSV27_IsOpened returns 0 when the module is open.
 */
#ifndef KSV27_VORN_DEVICE_KSVAPI_H
#define KSV27_VORN_DEVICE_KSVAPI_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KSV27_MODULE_ID 0x1B1Bu        /* slot identifier of a KSV27 */
#define KSV_SERVER_ADDRESS 0x7F000001u /* 127.0.0.1 */
#define KSV_SERVER_PORT 11111u
#define KSV27_DESCRIPTION_MASK 0x1FFu /* everything GetDescription can read */
#define KSV27_RECV_TIMEOUT_MS 5000u

#define KSV_MAX_CRATES 16
#define KSV_MAX_SLOTS 16
#define KSV_SERIAL_CHARS 16 /* serial fields, NUL within 16 bytes */
#define KSV27_MEZZANINES 8
#define KSV27_CHANNELS 16 /* words in one sample frame */

#pragma pack(push, 1)

/* One connection to the crate server. Prepared by KSV_Init; the program
 * sets Channel and, for a slot query, CrateSerial. */
typedef struct KsvCrateConnection {
    uint32_t Address;                   /*  0: server address, host order */
    uint16_t Port;                      /*  4 */
    char CrateSerial[KSV_SERIAL_CHARS]; /*  6 */
    uint16_t Channel;                   /* 22 */
    uint8_t LibraryData[12];            /* 24: the library's (socket, state) */
} KsvCrateConnection;

/* Crate list filled by KSV_GetCrates: ends at the first entry that begins with NUL. */
typedef char KsvCrateList[KSV_MAX_CRATES][KSV_SERIAL_CHARS];

/* Per mezzanine slot: 80 bytes at 44 + 80 m. */
typedef struct Ksv27Mezzanine {
    char MezzanineName[16];   /*  0: "U10", "I5", "R100", "T", "EMPTY", "UDEF" ... */
    uint8_t LibraryData[32];  /* 16 */
    double MezzanineCoefs[4]; /* 48: offset and scale applied by SetConfig */
} Ksv27Mezzanine;

/* What the description holds of one mezzanine. The blocks are 324 bytes
 * apart starting at 1297; the last block is cut short by the record's end. */
#define KSV27_MEZZANINE_SERIAL_CHARS 19
typedef struct Ksv27MezzanineDesc {
    char MezzanineSerial[KSV27_MEZZANINE_SERIAL_CHARS]; /*  0: NUL-terminated text */
    double MezzanineDescCoefs[4];                       /* 19 */
} Ksv27MezzanineDesc;

typedef struct Ksv27MezzanineDescBlock {
    Ksv27MezzanineDesc Desc;
    uint8_t LibraryData[324 - sizeof(Ksv27MezzanineDesc)];
} Ksv27MezzanineDescBlock;

/* The record of one KSV27 that every module call takes. */
typedef struct Ksv27ModuleRecord {
    uint8_t LibraryHeader[41];                                         /*    0: the library's */
    uint8_t AdcRateDivisor;                                            /*   41: rate = 1000 / (d + 1) Hz */
    uint8_t Reserved42[2];                                             /*   42 */
    Ksv27Mezzanine Mezzanines[KSV27_MEZZANINES];                       /*   44 */
    uint8_t Reserved684[16];                                           /*  684 */
    char ModuleName[16];                                               /*  700 */
    char ModuleSerial[16];                                             /*  716 */
    uint8_t Reserved732[288];                                          /*  732 */
    uint32_t FirmwareVersion;                                          /* 1020: four bytes, most significant first */
    uint8_t Reserved1024[273];                                         /* 1024 */
    Ksv27MezzanineDescBlock MezzanineDescBlocks[KSV27_MEZZANINES - 1]; /* 1297 */
    Ksv27MezzanineDesc LastMezzanineDesc;                              /* 3565 */
    uint8_t Reserved3616[256];                                         /* 3616 */
} Ksv27ModuleRecord;

#pragma pack(pop)

/* The description of mezzanine m (0..7), wherever its block lies. */
static inline Ksv27MezzanineDesc* Ksv27MezzanineDescOf(Ksv27ModuleRecord* r, int m)
{
    return m < KSV27_MEZZANINES - 1 ? &r->MezzanineDescBlocks[m].Desc : &r->LastMezzanineDesc;
}

/* ---- crate-system library (libksvapi) ---- */
typedef void (*KSV_Init_t)(KsvCrateConnection* connection);
typedef void (*KSV_Close_t)(KsvCrateConnection* connection);
typedef int32_t (*KSV_Open_t)(KsvCrateConnection* connection);
typedef int32_t (*KSV_GetCrates_t)(KsvCrateConnection* connection, KsvCrateList crates);
typedef int32_t (*KSV_GetCrateModules_t)(KsvCrateConnection* connection, uint16_t modules[KSV_MAX_SLOTS]);

/* ---- module library (libksv27api) ---- */
typedef void (*KSV27_Init_t)(Ksv27ModuleRecord* module);
typedef void (*KSV27_Close_t)(Ksv27ModuleRecord* module);
typedef int32_t (*KSV27_IsOpened_t)(Ksv27ModuleRecord* module);
typedef int32_t (*KSV27_Open_t)(Ksv27ModuleRecord* module, uint32_t address, uint16_t port,
                                const char* crateSerial, int32_t slot);
typedef int32_t (*KSV27_GetConfig_t)(Ksv27ModuleRecord* module);
typedef int32_t (*KSV27_GetDescription_t)(Ksv27ModuleRecord* module, uint32_t mask);
typedef int32_t (*KSV27_SetConfig_t)(Ksv27ModuleRecord* module);
typedef int32_t (*KSV27_ADCStart_t)(Ksv27ModuleRecord* module);
typedef int32_t (*KSV27_ADCStop_t)(Ksv27ModuleRecord* module);
/* Blocks until `words` words have come or timeoutMs has passed; returns the words received. */
typedef int32_t (*KSV27_Recv_t)(Ksv27ModuleRecord* module, uint32_t* buffer, uint32_t* timeMarks,
                                uint32_t words, uint32_t timeoutMs);
/* Converts `*count` raw words into values in library units; `*count` is left unchanged on success. */
typedef int32_t (*KSV27_ProcessData_t)(Ksv27ModuleRecord* module, const uint32_t* raw, double* values,
                                       uint32_t* count, int32_t calibrate, int32_t convert);

#ifdef KSV_API_DECLARE_FUNCTIONS
void KSV_Init(KsvCrateConnection* connection);
void KSV_Close(KsvCrateConnection* connection);
int32_t KSV_Open(KsvCrateConnection* connection);
int32_t KSV_GetCrates(KsvCrateConnection* connection, KsvCrateList crates);
int32_t KSV_GetCrateModules(KsvCrateConnection* connection, uint16_t modules[KSV_MAX_SLOTS]);
void KSV27_Init(Ksv27ModuleRecord* module);
void KSV27_Close(Ksv27ModuleRecord* module);
int32_t KSV27_IsOpened(Ksv27ModuleRecord* module);
int32_t KSV27_Open(Ksv27ModuleRecord* module, uint32_t address, uint16_t port,
                   const char* crateSerial, int32_t slot);
int32_t KSV27_GetConfig(Ksv27ModuleRecord* module);
int32_t KSV27_GetDescription(Ksv27ModuleRecord* module, uint32_t mask);
int32_t KSV27_SetConfig(Ksv27ModuleRecord* module);
int32_t KSV27_ADCStart(Ksv27ModuleRecord* module);
int32_t KSV27_ADCStop(Ksv27ModuleRecord* module);
int32_t KSV27_Recv(Ksv27ModuleRecord* module, uint32_t* buffer, uint32_t* timeMarks,
                   uint32_t words, uint32_t timeoutMs);
int32_t KSV27_ProcessData(Ksv27ModuleRecord* module, const uint32_t* raw, double* values,
                          uint32_t* count, int32_t calibrate, int32_t convert);
#endif

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(KsvCrateConnection) == 36);
static_assert(offsetof(KsvCrateConnection, CrateSerial) == 6);
static_assert(offsetof(KsvCrateConnection, Channel) == 22);
static_assert(sizeof(Ksv27Mezzanine) == 80);
static_assert(offsetof(Ksv27Mezzanine, MezzanineCoefs) == 48);
static_assert(sizeof(Ksv27MezzanineDescBlock) == 324);
static_assert(offsetof(Ksv27MezzanineDesc, MezzanineDescCoefs) == 1316 - 1297);
static_assert(sizeof(Ksv27ModuleRecord) == 3872);
static_assert(offsetof(Ksv27ModuleRecord, AdcRateDivisor) == 41);
static_assert(offsetof(Ksv27ModuleRecord, Mezzanines) == 44);
static_assert(offsetof(Ksv27ModuleRecord, ModuleName) == 700);
static_assert(offsetof(Ksv27ModuleRecord, ModuleSerial) == 716);
static_assert(offsetof(Ksv27ModuleRecord, FirmwareVersion) == 1020);
static_assert(offsetof(Ksv27ModuleRecord, MezzanineDescBlocks) == 1297);
static_assert(offsetof(Ksv27ModuleRecord, LastMezzanineDesc) == 1297 + 324 * 7);
#else
_Static_assert(sizeof(Ksv27ModuleRecord) == 3872, "module record is 3872 bytes");
_Static_assert(sizeof(KsvCrateConnection) == 36, "connection record is 36 bytes");
#endif

#endif /* KSV27_VORN_DEVICE_KSVAPI_H */
