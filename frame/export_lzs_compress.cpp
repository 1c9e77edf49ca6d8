// LZS compression exports: thin wrappers over huecl::lzs.
#include "huecl32.h"
#include "lzs/lzs_compress.h"

static_assert(HUECL_LZS_COMPRESSION_HISTORY_SIZE == huecl::lzs::kCompressionHistorySize);
static_assert(HUECL_LZS_MAX_OFFSET == huecl::lzs::kMaxOffset);
static_assert(LZS_FLAG_CLOSE_AT_END == huecl::lzs::compress_flag::kCloseAtEnd &&
              LZS_FLAG_CLOSE_WHEN_FULL == huecl::lzs::compress_flag::kCloseWhenFull &&
              LZS_FLAG_KEEP_HISTORY == huecl::lzs::compress_flag::kKeepHistory &&
              LZS_FLAG_ENTER_MATCH_LAST == huecl::lzs::compress_flag::kEnterMatchLast &&
              LZS_FLAG_ENTER_MATCH_ALL == huecl::lzs::compress_flag::kEnterMatchAll);
static_assert(LZS_RESULT_SOURCE_EMPTY == huecl::lzs::result::kSourceEmpty &&
              LZS_RESULT_DEST_FULL == huecl::lzs::result::kDestinationFull &&
              LZS_RESULT_STREAM_END == huecl::lzs::result::kStreamEnd);

extern "C" HUECL_API uint32_t HUECL_CDECL LZS_SizeOfCompressionHistory(void) {
    return huecl::lzs::kCompressionHistorySize;
}

extern "C" HUECL_API uint32_t HUECL_CDECL LZS_InitCompressionHistory(void* history) {
    return huecl::lzs::initCompressionHistory(history);
}

extern "C" HUECL_API uint32_t HUECL_CDECL LZS_Compress(uint8_t** source, uint8_t** destination, uint32_t* sourceCount,
                                                       uint32_t* destinationCount, void* history, uint32_t flags,
                                                       uint32_t performance) {
    const huecl::lzs::CallerVariables caller{source, destination, sourceCount, destinationCount};
    return huecl::lzs::compress(caller, history, flags, performance);
}
