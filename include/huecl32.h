/*
 * huecl32.h - public interface of HUECL32, the colour-processing and
 * compression library of a colour printer driver.
 *
 * The library is computation only: it allocates nothing, opens nothing and
 * calls no operating-system service. Every record, pixel row, plane buffer,
 * colour table, threshold matrix and compression history below is owned by
 * the caller and passed in by pointer; the library keeps no pointer beyond
 * the call that received it.
 *
 * Records are fixed sequences of 32-bit little-endian fields with no header.
 * On 32-bit targets each struct below has exactly that layout (checked at
 * compile time at the end of this file); on 64-bit hosts pointer fields are
 * native pointers, so records are not byte-compatible with the 32-bit DLL.
 *
 * Pixels: RGB pixels are 3 bytes blue, green, red; CMYK pixels are 4 bytes
 * cyan, magenta, yellow, black. Packed planes put the first dot of a row in
 * the most significant bits of its first byte.
 *
 * Calling conventions: the LZS_ exports are cdecl, the Qvr and Qv exports
 * stdcall. Every export may run on several threads at once on separate
 * records and buffers.
 *
 * Example (C): build a density curve and compress a buffer in one call.
 *
 *     unsigned char curve[256];
 *     QvrColDnsMak(20, curve);
 *
 *     static unsigned char history[HUECL_LZS_COMPRESSION_HISTORY_SIZE];
 *     LZS_InitCompressionHistory(history);
 *     unsigned char *src = input, *dst = output;
 *     uint32_t srcCount = inputSize, dstCount = outputSize;
 *     uint32_t r = LZS_Compress(&src, &dst, &srcCount, &dstCount, history,
 *                               LZS_FLAG_CLOSE_AT_END, 8);
 *     // r & LZS_RESULT_STREAM_END: dst - output bytes hold a whole stream.
 */
#ifndef HUECL32_H
#define HUECL32_H

#include <stdint.h>

/* Version of this interface and library; huecl --version prints it. */
#define HUECL_VERSION_MAJOR 0
#define HUECL_VERSION_MINOR 1
#define HUECL_VERSION_PATCH 0
#define HUECL_VERSION_STRING "0.1.0"

/* ---- Linkage and calling conventions --------------------------------- */

#if defined(HUECL_BUILDING_LIBRARY)
#  if defined(_WIN32)
#    define HUECL_API /* the .def file is the only source of the export table */
#  else
#    define HUECL_API __attribute__((visibility("default")))
#  endif
#elif defined(_WIN32) && !defined(HUECL_STATIC)
#  define HUECL_API __declspec(dllimport)
#else
#  define HUECL_API
#endif

/* The conventions only mean something on 32-bit x86; elsewhere they vanish. */
#if defined(__i386__) || defined(_M_IX86)
#  if defined(_MSC_VER)
#    define HUECL_CDECL __cdecl
#    define HUECL_STDCALL __stdcall
#  else
#    define HUECL_CDECL __attribute__((cdecl))
#    define HUECL_STDCALL __attribute__((stdcall))
#  endif
#else
#  define HUECL_CDECL
#  define HUECL_STDCALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- LZS compression -------------------------------------------------- */

/* Sizes of the caller-owned history areas, in bytes, for the target being
 * built: 20380 and 4164 on 32-bit targets. A history keeps the caller's
 * saved source and destination addresses whole, so on a 64-bit host the
 * decompression history is 8 bytes larger (4172); the compression history
 * stays 20380. LZS_SizeOf...History() returns the same sizes at run time. */
#define HUECL_LZS_COMPRESSION_HISTORY_SIZE 20380u
#if UINTPTR_MAX > 0xFFFFFFFFu
#  define HUECL_LZS_DECOMPRESSION_HISTORY_SIZE 4172u
#else
#  define HUECL_LZS_DECOMPRESSION_HISTORY_SIZE 4164u
#endif
/* Largest match offset, and so the history both sides keep. */
#define HUECL_LZS_MAX_OFFSET 2047u

/* LZS_Compress flags (values below 32 only). */
#define LZS_FLAG_CLOSE_AT_END 1u     /* close the stream when the source is used up */
#define LZS_FLAG_CLOSE_WHEN_FULL 2u  /* keep 12 bytes in reserve; each output buffer holds a whole stream */
#define LZS_FLAG_KEEP_HISTORY 4u     /* after a close, the next stream may refer to this one */
#define LZS_FLAG_ENTER_MATCH_LAST 8u /* enter the last position of each match into the hash chains */
#define LZS_FLAG_ENTER_MATCH_ALL 16u /* enter every position of a match into the hash chains */

/* LZS_Decompress flags (only these two bits). */
#define LZS_FLAG_STORED_BLOCK 2u /* the source is copied through unchanged */
#define LZS_FLAG_KEEP_HISTORY_ACROSS_END 4u

/* Result bits of both work functions; 0 means the call was refused. */
#define LZS_RESULT_SOURCE_EMPTY 1u
#define LZS_RESULT_DEST_FULL 2u
#define LZS_RESULT_STREAM_END 4u

/* Returns HUECL_LZS_COMPRESSION_HISTORY_SIZE. */
HUECL_API uint32_t HUECL_CDECL LZS_SizeOfCompressionHistory(void);
/* Prepares a compression history of that many bytes; returns 1. */
HUECL_API uint32_t HUECL_CDECL LZS_InitCompressionHistory(void* history);
/* Compresses from *source (*sourceCount bytes) into *destination
 * (*destinationCount bytes). The four in/out arguments are handed back only
 * when the result says so; call again with the same variables until the
 * source is used up or the output is full. performance is the match-search
 * budget (0-255 meaningful; larger searches harder). Returns result bits. */
HUECL_API uint32_t HUECL_CDECL LZS_Compress(uint8_t** source, uint8_t** destination, uint32_t* sourceCount,
                                            uint32_t* destinationCount, void* history, uint32_t flags,
                                            uint32_t performance);
/* Returns HUECL_LZS_DECOMPRESSION_HISTORY_SIZE. */
HUECL_API uint32_t HUECL_CDECL LZS_SizeOfDecompressionHistory(void);
/* Prepares a decompression history of that many bytes; returns 1. */
HUECL_API uint32_t HUECL_CDECL LZS_InitDecompressionHistory(void* history);
/* Decompresses from *source into *destination, resumably as LZS_Compress:
 * input in pieces of any size, output room of any size. flags: 0,
 * LZS_FLAG_STORED_BLOCK (copy the source through; source and destination
 * counts must be equal) and/or LZS_FLAG_KEEP_HISTORY_ACROSS_END. Returns
 * result bits; a stored-block call returns 3; 0 for a refused call or a
 * corrupt stream, after which the history refuses every call until it is
 * initialised again. */
HUECL_API uint32_t HUECL_CDECL LZS_Decompress(uint8_t** source, uint8_t** destination, uint32_t* sourceCount,
                                              uint32_t* destinationCount, void* history, uint32_t flags);

/* ---- Records shared by both colour generations ------------------------ */

/* Draw information: band geometry (fields 1-7 by the caller, 8-11 by
 * QvrColDrwInfSet) and the row being dithered (12-17). */
typedef struct QvrDrwInf {
    uint32_t srcWidth;  /* pixels in one source row */
    uint32_t devX;      /* horizontal origin of the band, device dots */
    uint32_t devY;      /* vertical origin / next device row */
    uint32_t devResX;   /* horizontal ratio, device side */
    uint32_t srcResX;   /* horizontal ratio, source side */
    uint32_t devResY;   /* vertical ratio, device side */
    uint32_t srcResY;   /* vertical ratio, source side */
    uint32_t srcX;      /* devX in source pixels */
    uint32_t srcY;      /* running source-row counter */
    uint32_t devWidth;  /* device dots covered by the source row */
    uint32_t lineBytes; /* bytes of one device row of one plane */
    uint8_t* srcPixels; /* srcWidth CMYK pixels */
    uint8_t* planeC;
    uint8_t* planeM;
    uint8_t* planeY;
    uint8_t* planeK;
    uint32_t devRow; /* next row inside the plane buffers */
} QvrDrwInf;

/* Colour-match record of both generations. */
typedef struct QvrMchInf {
    uint32_t mchMode;     /* 0 direct, 1 interpolated+cache, 2 inversion, 3 eight colours, 4 black */
    uint32_t blackMode;   /* 1 pure black to K, 2 every grey to K */
    uint32_t gridSize;    /* N grid points per axis of mchTable (method 1) */
    uint8_t* mchTable;    /* CMYK entries, (r*N + g)*N + b */
    uint8_t* cacheKeys;   /* MatchCache: 256 keys of 3 bytes */
    uint8_t* cacheValues; /* MatchCache: 256 values of 4 bytes */
} QvrMchInf;

/* mchMode: the matching method of both generations; any other value works
 * as HUECL_MATCH_INVERT. */
#define HUECL_MATCH_DIRECT 0u        /* nearest entry of mchTable */
#define HUECL_MATCH_INTERPOLATED 1u  /* interpolated in mchTable, through the MatchCache */
#define HUECL_MATCH_INVERT 2u        /* tone inversion, no table */
#define HUECL_MATCH_EIGHT_COLOURS 3u /* each primary on or off */
#define HUECL_MATCH_BLACK 4u         /* black colorant only */

/* blackMode, for methods 0-2; any other value works as HUECL_BLACK_NONE. */
#define HUECL_BLACK_NONE 0u
#define HUECL_BLACK_PURE 1u /* black (0, 0, 0) prints with the black colorant only */
#define HUECL_BLACK_GREY 2u /* every neutral grey prints with the black colorant only */

#define HUECL_MATCH_CACHE_SLOTS 256u
#define HUECL_MATCH_CACHE_KEY_BYTES (3u * HUECL_MATCH_CACHE_SLOTS)
#define HUECL_MATCH_CACHE_VALUE_BYTES (4u * HUECL_MATCH_CACHE_SLOTS)

/* ---- Later-generation colour engine (Qvr) ----------------------------- */

/* Dither information: selectors and buffers of the four threshold matrices. */
typedef struct QvrDizInf {
    uint32_t blackOnly;  /* 1: black plane only */
    uint32_t dizMode;    /* 0: 1 bit, 1: 4 bits, 2: 1 bit spread, 3: 2 bits per dot */
    uint32_t reserved;   /* not read */
    uint32_t screenKind; /* 0, 1, 3 or other */
    uint32_t sizeC;      /* edge lengths, written by QvrColDizInfSet */
    uint32_t sizeM;
    uint32_t sizeY;
    uint32_t sizeK;
    uint8_t* matrixC; /* caller's buffers for the threshold matrices */
    uint8_t* matrixM;
    uint8_t* matrixY;
    uint8_t* matrixK;
} QvrDizInf;

/* dizMode: bits per dot; values above 3 work as HUECL_DITHER_1BIT_SPREAD. */
#define HUECL_DITHER_1BIT 0u
#define HUECL_DITHER_4BIT 1u        /* 15 thresholds per dot */
#define HUECL_DITHER_1BIT_SPREAD 2u /* the 2-bit screens spread over more dots */
#define HUECL_DITHER_2BIT 3u        /* 3 thresholds per dot */

/* screenKind: 0, 1 and 3 select screens of their own, every other value
 * the fourth set; with blackOnly 1, kind 0 selects that fourth set too. */
#define HUECL_SCREEN_KIND_0 0u
#define HUECL_SCREEN_KIND_1 1u
#define HUECL_SCREEN_KIND_OTHER 2u
#define HUECL_SCREEN_KIND_3 3u

/* Largest threshold matrix any configuration builds, in bytes. */
#define HUECL_MAX_THRESHOLD_MATRIX_BYTES 3468u

typedef struct QvrCtrRgbInf {
    int32_t brightness; /* a third of it is added to each component; 0 off */
    int32_t saturation; /* distance from the mean scaled in steps of 1/200; 0 off */
    int32_t gammaR;     /* balance level 1-9, 11-30; others (10) none */
    int32_t gammaG;
    int32_t gammaB;
    uint8_t* preTable; /* 256-byte tone table applied first, or null */
} QvrCtrRgbInf;

typedef struct QvrCtrCmyInf {
    int32_t saturation; /* C, M, Y distance from their mean in steps of 1/100; 0 off */
    uint8_t* cmyTable;  /* 256-byte tone table applied last to all four, or null */
} QvrCtrCmyInf;

/* Clears the MatchCache that matchInfo points to (cacheKeys: 768 bytes, all
 * keys white; cacheValues: 1024 bytes, all values no colorant). Call it once
 * before the first method-1 match of a stream of rows. A cleared cache
 * answers white with no colorant, as a table that prints white as paper
 * does: with a table whose white entry holds ink, white pixels match to no
 * colorant until another colour takes their slot, and to the table's entry
 * after that. */
HUECL_API void HUECL_STDCALL QvrColCchIni(QvrMchInf* matchInfo);
/* Converts count CMYK pixels (4 bytes each: cyan, magenta, yellow, black) at
 * source into RGB pixels (3 bytes each: blue, green, red) at destination, a
 * separate buffer of 3 * count bytes; source is only read. table is the
 * caller's CmykToRgbTable of gridSize^4 entries of 3 bytes (red, green,
 * blue), entry ((k * N + c) * N + m) * N + y, read only. Cyan, magenta and
 * yellow are interpolated trilinearly inside the two black slices around
 * the pixel's black, which are then blended; a pixel of black alone blends
 * the two slices' blank entries. Results are written blue first, except
 * for a pixel without any colorant, which copies entry 0 byte for byte as
 * stored. gridSize 0 works as 1 (every pixel reads entry 0). A count of 0
 * writes nothing. */
HUECL_API void HUECL_STDCALL QvrColCnvC2r(uint32_t count, const uint8_t* source, uint8_t* destination,
                                          uint32_t gridSize, const uint8_t* table);
/* Adjusts count CMYK pixels (4 bytes each) in place: saturation of cyan,
 * magenta and yellow, then the optional tone table on all four. */
HUECL_API void HUECL_STDCALL QvrColCtrCmy(uint32_t count, uint8_t* pixels, const QvrCtrCmyInf* control);
/* Adjusts count RGB pixels (3 bytes each, blue, green, red) in place: the
 * optional tone table, brightness, saturation, then a balance curve per
 * primary. Zero fields switch their step off. */
HUECL_API void HUECL_STDCALL QvrColCtrRgb(uint32_t count, uint8_t* pixels, const QvrCtrRgbInf* control);
/* Builds the threshold matrices that blackOnly, dizMode and screenKind select
 * into the caller's matrix buffers (only matrixK when blackOnly is 1) and
 * writes their edge lengths to the size fields. Each buffer needs
 * size * size * thresholds-per-dot bytes; HUECL_MAX_THRESHOLD_MATRIX_BYTES
 * is always enough. Reentrant. */
HUECL_API void HUECL_STDCALL QvrColDizInfSet(QvrDizInf* ditherInfo);
/* Screens the CMYK row at drawInfo->srcPixels into the planes (1, 2 or 4
 * bits per dot as dizMode says; black only when blackOnly is non-zero),
 * replicating or dropping pixels and rows when the resolutions differ. A
 * call writes n device rows at plane + devRow * lineBytes and advances devY
 * and devRow by them, and srcY by one: n is 1 when both resolution pairs
 * are equal, else ((srcY + 1) * devResY) / srcResY - (srcY * devResY) /
 * srcResY with the products in 64 bits (at most ceil(devResY / srcResY)).
 * The source rows QvrColDrwInfSet says fit a buffer, called in order from
 * the srcY it set, write at most bufferSize / lineBytes rows in all. */
HUECL_API void HUECL_STDCALL QvrColDizPrc(const QvrDizInf* ditherInfo, QvrDrwInf* drawInfo);
/* Builds a 256-byte density (tone) curve for a signed setting; 0 is the
 * identity, positive raises, negative lowers. Entry 0 stays 0 and entry 255
 * stays 255 for every setting; entries are clamped to 0-255. */
HUECL_API void HUECL_STDCALL QvrColDnsMak(int32_t density, uint8_t* table);
/* Completes srcX, srcY, devWidth and lineBytes of drawInfo from its first
 * seven fields and ditherInfo->dizMode; returns how many source rows fit
 * into plane buffers of bufferSize bytes each: ((bufferSize / lineBytes) *
 * srcResY) / devResY, the product in 64 bits, at most 2^32 - 1. Returns 0
 * (and never divides by zero) when a resolution is 0 or a row would take no
 * bytes. srcX, srcY and devWidth are unsigned 32-bit arithmetic, as on the
 * 32-bit library, and give the 32-bit library's results only while devX *
 * srcResX, devY * srcResY and (srcX + srcWidth) * devResX stay below 2^32;
 * callers keep them there (a page's positions times its resolutions). */
HUECL_API uint32_t HUECL_STDCALL QvrColDrwInfSet(const QvrDizInf* ditherInfo, QvrDrwInf* drawInfo, uint32_t bufferSize);
/* Matches count RGB pixels (3 bytes each) into CMYK pixels (4 bytes each, a
 * separate buffer) by the method in matchInfo->mchMode; method 1 reads and
 * updates the MatchCache, which QvrColCchIni must have cleared. Method 0
 * (direct) reads mchTable as 32 x 32 x 32 entries of 4 bytes, 131072 bytes,
 * whatever gridSize says; method 1 reads gridSize^3 entries of 4 bytes
 * (one entry for gridSize 0 or 1). Methods 2-4 read no table. */
HUECL_API void HUECL_STDCALL QvrColMchPrc(uint32_t count, const uint8_t* source, uint8_t* destination,
                                          const QvrMchInf* matchInfo);
/* Expands count packed palette indices at source into count 32-bit palette
 * entries at destination (4 * count bytes, caller-owned, a separate buffer),
 * copied unchanged from palette (caller-owned, read only: 2^bitsPerPixel
 * entries for widths up to 8, 256 for wider codes). Codes are bitsPerPixel
 * wide, most significant bit first, and may straddle bytes; a code wider
 * than 8 bits indexes the palette with its last 8 bits, width 0 gives
 * entry 0 for every pixel. Neither row nor palette needs 4-byte alignment.
 *
 * The source row is the caller's, and widths 1, 2 and 4 use it as scratch:
 * each byte is shifted left in place as its codes are taken. Afterwards a
 * fully used byte holds its old value shifted left by 7 (width 1), 6
 * (width 2) or 4 (width 4), truncated to 8 bits; the partly used last byte
 * of a width-1 or width-2 row is shifted by one code per pixel taken from
 * it; the byte holding the odd last code of a width-4 row is unchanged.
 * Callers that need the indices again keep a copy. Every other width only
 * reads the source. Example: width 4, count 3, source 0xAB 0xC0 writes
 * palette[0xA], palette[0xB], palette[0xC] and leaves 0xB0 0xC0. */
HUECL_API void HUECL_STDCALL QvrColPtcPrc(uint32_t bitsPerPixel, uint32_t count, uint8_t* source, uint32_t* destination,
                                          const uint32_t* palette);

/* ---- Earlier-generation colour engine (Qv) ---------------------------- */

typedef struct QvDizInf {
    uint32_t monoFlag;   /* 0 colour, 1 monochrome */
    uint32_t reserved2;  /* not read */
    uint32_t reserved3;  /* not read */
    uint32_t screenMode; /* 1, 2 or 3 */
    uint32_t reserved5;  /* not read */
    uint32_t reserved6;
    uint32_t reserved7;
    uint32_t reserved8;
    uint8_t* ptnC; /* 17 x 17 threshold matrix */
    uint8_t* ptnM; /* 17 x 17 */
    uint8_t* ptnY; /* 16 x 16 */
    uint8_t* ptnK; /* 16 x 16 */
} QvDizInf;

/* QvDizInf.screenMode: the earlier generation's three screen sets. */
#define HUECL_SCREEN_MODE_1 1u
#define HUECL_SCREEN_MODE_2 2u
#define HUECL_SCREEN_MODE_3 3u

/* Error-diffusion state, owned by the caller: an RGB group (QvRgbGos) and a
 * CMYK group (QvColGosPrc), each with two independent sets of two error rows.
 * A row is signed 16-bit cells, one group per device column (3 cells blue,
 * green, red; 4 cells cyan, magenta, yellow, black): first a guard group
 * (column -1, read, never written), then columns 0, 1, 2 ... Row number n
 * writes row A and reads row B when n is even, the other way round when odd.
 * Before first use zero every row, guard included, and set each cells field
 * to at least devX + the columns a call reaches + 1 (the column after the
 * last is read, never written): the row's pixels for QvRgbGos, lineBytes * 8
 * for QvColGosPrc whatever the row's own dot count; each row then holds
 * cells + 1 groups. When a
 * row number does not follow the set's last one, the calls clear the
 * previous row's cells groups after the guard. The set selectors take set 0
 * for 0 and set 1 for every other value, so no selector reads beyond the
 * two sets. A set belongs to one stream of rows at a time. */
typedef struct QvErrInf {
    uint32_t rgbSet;
    uint32_t rgbCells0;
    uint32_t rgbCells1;
    uint32_t rgbLastRow0;
    uint32_t rgbLastRow1;
    int16_t* rgbRowA0;
    int16_t* rgbRowB0;
    int16_t* rgbRowA1;
    int16_t* rgbRowB1;
    uint32_t cmykSet;
    uint32_t cmykCells0;
    uint32_t cmykCells1;
    uint32_t cmykLastRow0;
    uint32_t cmykLastRow1;
    int16_t* cmykRowA0;
    int16_t* cmykRowB0;
    int16_t* cmykRowA1;
    int16_t* cmykRowB1;
} QvErrInf;

typedef struct QvCtrRgbInf {
    int32_t brightness; /* a third of it is added to each component; 0 off */
    int32_t saturation; /* distance from the mean scaled in steps of 1/200; 0 off */
    int32_t gammaR;     /* curve level 1-9, 12-31 (odd above 10 as the even below); others (10, 11) none */
    int32_t gammaG;
    int32_t gammaB;
    uint8_t* preTable; /* 256-byte tone table applied first, or null */
} QvCtrRgbInf;

typedef struct QvCtrCmyInf {
    int32_t reserved;  /* not read */
    uint8_t* cmyTable; /* 256-byte table for all four components, or null */
} QvCtrCmyInf;

/* Builds the earlier generation's threshold matrices into the caller's
 * buffers from ditherInfo->monoFlag and ->screenMode (nothing else of the
 * record is read, and the record itself is not written). Cells are row-major
 * thresholds: a level prints where it is greater than its cell.
 * Colour (monoFlag other than 1): ptnM receives a 17 x 17 angled screen
 * (289 bytes, cells 3-254), ptnC the same screen mirrored left to right
 * (289 bytes), ptnY and ptnK 16 x 16 screens (256 bytes each, cells 4-253
 * and 4-254). screenMode 0 or 1, 2 and 3 select three screen sets; every
 * screenMode above 3 builds the set of 0 and 1, like them.
 * Monochrome (monoFlag 1): only ptnK is written, a 16 x 16 screen with
 * cells 0-255 (screenMode 1, 2, any other value: three screens); ptnC, ptnM
 * and ptnY are not touched and may be null.
 * Call it again whenever monoFlag or screenMode changes; the matrices stay
 * valid until then and must not be rebuilt while another thread dithers
 * with them. */
HUECL_API void HUECL_STDCALL QvDizPtnMak(QvDizInf* ditherInfo);
/* Draws a 32 x 32 one-bit sample of one ink at one level into the caller's
 * 128-byte tile: 32 rows of 4 bytes, the first dot of a row in bit 7 of its
 * first byte, a set bit where ink prints. colour: 0 cyan, 1 magenta,
 * 2 yellow, 3 and above black; level 0-255 (0 gives an empty tile, 255 a
 * full one). Reads ditherInfo->monoFlag and ->screenMode only; the matrices
 * of the record are neither read nor needed. Every byte of the tile is
 * written. */
HUECL_API void HUECL_STDCALL QvDizPtnPrn(const QvDizInf* ditherInfo, uint32_t colour, uint32_t level, uint8_t* tile);

/* Adjusts count CMYK pixels (4 bytes each, caller's buffer) in place: every
 * byte becomes control->cmyTable[byte] (256 bytes, read only); a null table
 * leaves the row as it is. control->reserved is not read. */
HUECL_API void HUECL_STDCALL QvColCtrCmy(uint32_t count, uint8_t* pixels, const QvCtrCmyInf* control);
/* Adjusts count RGB pixels (3 bytes each, blue, green, red; caller's
 * buffer) in place: the optional tone table, brightness, saturation, then a
 * balance curve per primary. Zero fields, a null table and levels without a
 * curve switch their step off. The record and the table are only read. */
HUECL_API void HUECL_STDCALL QvColCtrRgb(uint32_t count, uint8_t* pixels, const QvCtrRgbInf* control);
/* Ordered dithering of one source row. Reads monoFlag (non-zero: black
 * only) and the matrices of ditherInfo (ptnC, ptnM 17 x 17 bytes, ptnY,
 * ptnK 16 x 16, e.g. from QvDizPtnMak; only ptnK in monochrome), and from
 * drawInfo the geometry fields 1-9, lineBytes and the five pointers: srcWidth
 * CMYK pixels at srcPixels become n device rows, row r at plane + r *
 * lineBytes (the plane pointers themselves, not devRow). n is 1 when both
 * resolution pairs are equal, else ((srcY + 1) * devResY) / srcResY -
 * (srcY * devResY) / srcResY, and pixel j covers the dots between the same
 * quotients of srcX + j and srcX + j + 1 by devResX / srcResX, all in
 * unsigned 32-bit arithmetic, with one exception that keeps n bounded: the
 * product (srcY + 1) * devResY is taken as (srcY * devResY, wrapped to 32
 * bits) + devResY without wrapping, so n never exceeds ceil(devResY /
 * srcResY) (on the 32-bit library a wrap there made n near 2^32). Results
 * match the 32-bit library wherever (srcY + 1) * devResY, (srcX + srcWidth)
 * * devResX and devX + the row's dots stay below 2^32. Each written row is cleared over lineBytes
 * (black plane only in monochrome) and a dot prints where the component
 * exceeds the cell at (devY + r, devX + column) modulo the matrix edge. Dots
 * past lineBytes * 8 are not written, and a zero source resolution on a
 * scaled row gives no dots (no rows for srcResY). Writes srcY + 1, devY + n,
 * devRow + n; other fields are left alone. The caller owns every buffer;
 * each plane needs n * lineBytes bytes, so ceil(devResY / srcResY) *
 * lineBytes is always enough. */
HUECL_API void HUECL_STDCALL QvColDizPrc(const QvDizInf* ditherInfo, QvrDrwInf* drawInfo);
/* Error diffusion of one source row into one-bit planes, with the geometry,
 * scaling, plane rows and counters of QvColDizPrc. Clears each written row
 * in all four planes; diffuses all four components, or black alone when
 * monoFlag is non-zero (the other components' error cells stay untouched).
 * Reads and writes the CMYK set of errorInfo that cmykSet selects: device
 * row y reads the previous row's cells of columns x - 1, x, x + 1 and the
 * dot visited before, and writes its own; rows whose y mod 6 is 3 or 4 run
 * right to left. Afterwards the set's last row number is devY + n - 1; a
 * call that writes no rows leaves the error rows and last row alone. The
 * caller owns every buffer (errorInfo's rows: see QvErrInf). Whatever the
 * row's own dot count, even 0, a call may read the error cells of every
 * column up to devX + lineBytes * 8 (and the one after it), so the set's
 * rows and cells field must cover devX + lineBytes * 8 + 1 columns. */
HUECL_API void HUECL_STDCALL QvColGosPrc(const QvDizInf* ditherInfo, QvrDrwInf* drawInfo, QvErrInf* errorInfo);
/* Matches count RGB pixels (3 bytes each) from source into CMYK pixels (4
 * bytes each) at destination, a separate caller buffer that is written in
 * full. Reads ditherInfo->screenMode only (the grey-to-black curve for
 * blackMode 2 and method 4) and matchInfo's mchMode, blackMode, mchTable
 * (methods 0 and 1: 32 x 32 x 32 entries, 131072 bytes, read only; gridSize
 * is not read) and, for method 1, the MatchCache (cacheKeys 768 bytes,
 * cacheValues 1024 bytes), which it reads and updates and which
 * QvrColCchIni must have cleared. Other records are only read. */
HUECL_API void HUECL_STDCALL QvColMchPrc(const QvDizInf* ditherInfo, uint32_t count, const uint8_t* source,
                                         uint8_t* destination, const QvrMchInf* matchInfo);
/* Reduces srcWidth RGB pixels (3 bytes each, caller-owned) in place to
 * multiples of 8 (255 at the top), passing each pixel's rounding error to
 * its neighbours through the RGB set of errorInfo that rgbSet selects. The
 * row number is srcY, which the call does not advance; it becomes the set's
 * last row number, also when srcWidth is 0. Pixel x uses column devX + x.
 * Reads only srcWidth, devX and srcY of drawInfo. */
HUECL_API void HUECL_STDCALL QvRgbGos(QvrDrwInf* drawInfo, QvErrInf* errorInfo, uint8_t* pixels);
/* The earlier generation's name for QvrColDnsMak: the same entry. */
HUECL_API void HUECL_STDCALL QvTnrTblMak(int32_t density, uint8_t* table);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* ---- 32-bit record layout ------------------------------------------------ */

#if defined(__i386__) || defined(_M_IX86)
#  include <stddef.h>
#  if defined(__cplusplus)
#    define HUECL_STATIC_ASSERT(c, m) static_assert(c, m)
#  elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#    define HUECL_STATIC_ASSERT(c, m) _Static_assert(c, m)
#  else /* C89/C99: an array of negative size fails to compile */
#    define HUECL_CONCAT_(a, b) a##b
#    define HUECL_CONCAT(a, b) HUECL_CONCAT_(a, b)
#    define HUECL_STATIC_ASSERT(c, m) typedef char HUECL_CONCAT(huecl_layout_check_, __LINE__)[(c) ? 1 : -1]
#  endif
/* The stringizing # of these macros is not a directive. */
/* clang-format off */
#  define HUECL_CHECK_FIELD(T, f, n) \
    HUECL_STATIC_ASSERT(offsetof(T, f) == 4 * ((n) - 1), #T "." #f " must be field " #n)
#  define HUECL_CHECK_SIZE(T, n) HUECL_STATIC_ASSERT(sizeof(T) == 4 * (n), #T " must be " #n " fields")
/* clang-format on */

HUECL_CHECK_SIZE(QvrDrwInf, 17);
HUECL_CHECK_FIELD(QvrDrwInf, srcWidth, 1);
HUECL_CHECK_FIELD(QvrDrwInf, devX, 2);
HUECL_CHECK_FIELD(QvrDrwInf, devY, 3);
HUECL_CHECK_FIELD(QvrDrwInf, devResX, 4);
HUECL_CHECK_FIELD(QvrDrwInf, srcResX, 5);
HUECL_CHECK_FIELD(QvrDrwInf, devResY, 6);
HUECL_CHECK_FIELD(QvrDrwInf, srcResY, 7);
HUECL_CHECK_FIELD(QvrDrwInf, srcX, 8);
HUECL_CHECK_FIELD(QvrDrwInf, srcY, 9);
HUECL_CHECK_FIELD(QvrDrwInf, devWidth, 10);
HUECL_CHECK_FIELD(QvrDrwInf, lineBytes, 11);
HUECL_CHECK_FIELD(QvrDrwInf, srcPixels, 12);
HUECL_CHECK_FIELD(QvrDrwInf, planeC, 13);
HUECL_CHECK_FIELD(QvrDrwInf, planeM, 14);
HUECL_CHECK_FIELD(QvrDrwInf, planeY, 15);
HUECL_CHECK_FIELD(QvrDrwInf, planeK, 16);
HUECL_CHECK_FIELD(QvrDrwInf, devRow, 17);

HUECL_CHECK_SIZE(QvrMchInf, 6);
HUECL_CHECK_FIELD(QvrMchInf, mchMode, 1);
HUECL_CHECK_FIELD(QvrMchInf, blackMode, 2);
HUECL_CHECK_FIELD(QvrMchInf, gridSize, 3);
HUECL_CHECK_FIELD(QvrMchInf, mchTable, 4);
HUECL_CHECK_FIELD(QvrMchInf, cacheKeys, 5);
HUECL_CHECK_FIELD(QvrMchInf, cacheValues, 6);

HUECL_CHECK_SIZE(QvrDizInf, 12);
HUECL_CHECK_FIELD(QvrDizInf, blackOnly, 1);
HUECL_CHECK_FIELD(QvrDizInf, dizMode, 2);
HUECL_CHECK_FIELD(QvrDizInf, reserved, 3);
HUECL_CHECK_FIELD(QvrDizInf, screenKind, 4);
HUECL_CHECK_FIELD(QvrDizInf, sizeC, 5);
HUECL_CHECK_FIELD(QvrDizInf, sizeM, 6);
HUECL_CHECK_FIELD(QvrDizInf, sizeY, 7);
HUECL_CHECK_FIELD(QvrDizInf, sizeK, 8);
HUECL_CHECK_FIELD(QvrDizInf, matrixC, 9);
HUECL_CHECK_FIELD(QvrDizInf, matrixM, 10);
HUECL_CHECK_FIELD(QvrDizInf, matrixY, 11);
HUECL_CHECK_FIELD(QvrDizInf, matrixK, 12);

HUECL_CHECK_SIZE(QvrCtrRgbInf, 6);
HUECL_CHECK_FIELD(QvrCtrRgbInf, brightness, 1);
HUECL_CHECK_FIELD(QvrCtrRgbInf, saturation, 2);
HUECL_CHECK_FIELD(QvrCtrRgbInf, gammaR, 3);
HUECL_CHECK_FIELD(QvrCtrRgbInf, gammaG, 4);
HUECL_CHECK_FIELD(QvrCtrRgbInf, gammaB, 5);
HUECL_CHECK_FIELD(QvrCtrRgbInf, preTable, 6);

HUECL_CHECK_SIZE(QvrCtrCmyInf, 2);
HUECL_CHECK_FIELD(QvrCtrCmyInf, saturation, 1);
HUECL_CHECK_FIELD(QvrCtrCmyInf, cmyTable, 2);

HUECL_CHECK_SIZE(QvDizInf, 12);
HUECL_CHECK_FIELD(QvDizInf, monoFlag, 1);
HUECL_CHECK_FIELD(QvDizInf, reserved2, 2);
HUECL_CHECK_FIELD(QvDizInf, reserved3, 3);
HUECL_CHECK_FIELD(QvDizInf, screenMode, 4);
HUECL_CHECK_FIELD(QvDizInf, reserved5, 5);
HUECL_CHECK_FIELD(QvDizInf, reserved6, 6);
HUECL_CHECK_FIELD(QvDizInf, reserved7, 7);
HUECL_CHECK_FIELD(QvDizInf, reserved8, 8);
HUECL_CHECK_FIELD(QvDizInf, ptnC, 9);
HUECL_CHECK_FIELD(QvDizInf, ptnM, 10);
HUECL_CHECK_FIELD(QvDizInf, ptnY, 11);
HUECL_CHECK_FIELD(QvDizInf, ptnK, 12);

HUECL_CHECK_SIZE(QvErrInf, 18);
HUECL_CHECK_FIELD(QvErrInf, rgbSet, 1);
HUECL_CHECK_FIELD(QvErrInf, rgbCells0, 2);
HUECL_CHECK_FIELD(QvErrInf, rgbCells1, 3);
HUECL_CHECK_FIELD(QvErrInf, rgbLastRow0, 4);
HUECL_CHECK_FIELD(QvErrInf, rgbLastRow1, 5);
HUECL_CHECK_FIELD(QvErrInf, rgbRowA0, 6);
HUECL_CHECK_FIELD(QvErrInf, rgbRowB0, 7);
HUECL_CHECK_FIELD(QvErrInf, rgbRowA1, 8);
HUECL_CHECK_FIELD(QvErrInf, rgbRowB1, 9);
HUECL_CHECK_FIELD(QvErrInf, cmykSet, 10);
HUECL_CHECK_FIELD(QvErrInf, cmykCells0, 11);
HUECL_CHECK_FIELD(QvErrInf, cmykCells1, 12);
HUECL_CHECK_FIELD(QvErrInf, cmykLastRow0, 13);
HUECL_CHECK_FIELD(QvErrInf, cmykLastRow1, 14);
HUECL_CHECK_FIELD(QvErrInf, cmykRowA0, 15);
HUECL_CHECK_FIELD(QvErrInf, cmykRowB0, 16);
HUECL_CHECK_FIELD(QvErrInf, cmykRowA1, 17);
HUECL_CHECK_FIELD(QvErrInf, cmykRowB1, 18);

HUECL_CHECK_SIZE(QvCtrRgbInf, 6);
HUECL_CHECK_FIELD(QvCtrRgbInf, brightness, 1);
HUECL_CHECK_FIELD(QvCtrRgbInf, saturation, 2);
HUECL_CHECK_FIELD(QvCtrRgbInf, gammaR, 3);
HUECL_CHECK_FIELD(QvCtrRgbInf, gammaG, 4);
HUECL_CHECK_FIELD(QvCtrRgbInf, gammaB, 5);
HUECL_CHECK_FIELD(QvCtrRgbInf, preTable, 6);

HUECL_CHECK_SIZE(QvCtrCmyInf, 2);
HUECL_CHECK_FIELD(QvCtrCmyInf, reserved, 1);
HUECL_CHECK_FIELD(QvCtrCmyInf, cmyTable, 2);
#  undef HUECL_CHECK_FIELD
#  undef HUECL_CHECK_SIZE
#  undef HUECL_STATIC_ASSERT
#endif

#endif /* HUECL32_H */
