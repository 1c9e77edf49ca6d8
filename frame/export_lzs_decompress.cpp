// LZS decompression exports: C calling convention, thin over huecl::lzs.
#include "huecl32.h"
#include "lzs/lzs_decompress.h"
#include "lzs/lzs_format.h"

static_assert(HUECL_LZS_DECOMPRESSION_HISTORY_SIZE == huecl::lzs::kDecompressionHistorySize);

extern "C" HUECL_API uint32_t HUECL_CDECL LZS_SizeOfDecompressionHistory(void) {
    return huecl::lzs::decompressionHistorySize();
}

extern "C" HUECL_API uint32_t HUECL_CDECL LZS_InitDecompressionHistory(void* history) {
    huecl::lzs::initDecompressionHistory(history);
    return 1;
}

extern "C" HUECL_API uint32_t HUECL_CDECL LZS_Decompress(uint8_t** source, uint8_t** destination, uint32_t* sourceCount,
                                                         uint32_t* destinationCount, void* history, uint32_t flags) {
    return huecl::lzs::decompress(source, destination, sourceCount, destinationCount, history, flags);
}
