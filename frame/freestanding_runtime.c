/*
 * The DLL links no C runtime, yet the compiler may emit calls to these four
 * for struct copies and loops it recognises. They are built with
 * -fno-builtin and -fno-tree-loop-distribute-patterns so that the loops
 * below are not turned back into calls to themselves.
 */
#include <stddef.h>

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* d = (unsigned char*)destination;
    const unsigned char* s = (const unsigned char*)source;
    while (count--) *d++ = *s++;
    return destination;
}

void* memmove(void* destination, const void* source, size_t count) {
    unsigned char* d = (unsigned char*)destination;
    const unsigned char* s = (const unsigned char*)source;
    if (d < s) {
        while (count--) *d++ = *s++;
    } else {
        while (count--) d[count] = s[count];
    }
    return destination;
}

void* memset(void* destination, int value, size_t count) {
    unsigned char* d = (unsigned char*)destination;
    while (count--) *d++ = (unsigned char)value;
    return destination;
}

int memcmp(const void* left, const void* right, size_t count) {
    const unsigned char* a = (const unsigned char*)left;
    const unsigned char* b = (const unsigned char*)right;
    for (; count; --count, ++a, ++b) {
        if (*a != *b) return *a < *b ? -1 : 1;
    }
    return 0;
}
