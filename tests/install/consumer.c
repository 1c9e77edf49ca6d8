/* A program of the library's users, built against an installed tree: the
 * header and the library must agree on sizes, and the calls must work. */
#include <huecl32.h>

#include <stdio.h>
#include <string.h>

static int failures;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "FAILED: %s\n", what);
        ++failures;
    }
}

static int density_curves(void) {
    uint8_t identity[256], raised[256];
    int i, above = 0, ordered = 1, identical = 1;
    QvrColDnsMak(0, identity);
    QvrColDnsMak(20, raised);
    for (i = 0; i < 256; ++i) {
        if (identity[i] != i) identical = 0;
        if (raised[i] > i) ++above;
        if (raised[i] < i) ordered = 0;
    }
    check(identical, "density 0 gives the identity curve");
    check(raised[0] == 0 && raised[255] == 255, "a raised curve keeps its ends");
    check(ordered && above > 100, "density 20 raises the middle of the curve");
    return above;
}

static void lzs_round_trip(void) {
    static uint8_t compression_history[HUECL_LZS_COMPRESSION_HISTORY_SIZE];
    static uint8_t decompression_history[HUECL_LZS_DECOMPRESSION_HISTORY_SIZE];
    static uint8_t input[6000], packed[7000], output[6000];
    uint8_t *source = input, *destination = packed;
    uint32_t source_count = sizeof input, destination_count = sizeof packed, result;
    uint32_t packed_bytes, i;

    /* A row-like pattern with repeats at several distances, plus noise. */
    uint32_t noise = 12345;
    for (i = 0; i < sizeof input; ++i) {
        noise = noise * 1103515245u + 12345u;
        input[i] = (uint8_t)((i % 97 < 60) ? (i % 13) * 17 : (noise >> 24));
    }
    check(LZS_SizeOfCompressionHistory() == HUECL_LZS_COMPRESSION_HISTORY_SIZE,
          "compression history size of the header and the library agree");
    check(LZS_SizeOfDecompressionHistory() == HUECL_LZS_DECOMPRESSION_HISTORY_SIZE,
          "decompression history size of the header and the library agree");

    LZS_InitCompressionHistory(compression_history);
    result = LZS_Compress(&source, &destination, &source_count, &destination_count, compression_history,
                          LZS_FLAG_CLOSE_AT_END, 8);
    check((result & LZS_RESULT_STREAM_END) != 0, "the compressor closes the stream");
    packed_bytes = (uint32_t)(destination - packed);
    check(packed_bytes > 0 && packed_bytes < sizeof input, "the pattern compresses");

    LZS_InitDecompressionHistory(decompression_history);
    source = packed;
    destination = output;
    source_count = packed_bytes;
    destination_count = sizeof output;
    result = LZS_Decompress(&source, &destination, &source_count, &destination_count, decompression_history, 0);
    check((result & LZS_RESULT_STREAM_END) != 0, "the decompressor finds the stream's end");
    check(destination - output == (long)sizeof input && memcmp(input, output, sizeof input) == 0,
          "the round trip gives back the input");
    printf("lzs %u -> %u bytes\n", (unsigned)sizeof input, (unsigned)packed_bytes);
}

int main(void) {
    int raised = density_curves();
    lzs_round_trip();
    printf("density 20 raises %d levels\n", raised);
    if (failures) return 1;
    puts("installed huecl32 works");
    return 0;
}
