// The memory and string functions that the code and the compiler call, for a
// program linked without a C runtime. Built without the compiler's own
// knowledge of them, so that no loop below is turned back into a call to itself.
#include <stddef.h>

extern "C" {

void *memcpy(void *to, const void *from, size_t count)
{
    unsigned char *out = (unsigned char *)to;
    const unsigned char *in = (const unsigned char *)from;
    while (count--)
        *out++ = *in++;
    return to;
}

void *memmove(void *to, const void *from, size_t count)
{
    unsigned char *out = (unsigned char *)to;
    const unsigned char *in = (const unsigned char *)from;
    if (out < in) {
        while (count--)
            *out++ = *in++;
    } else {
        while (count--)
            out[count] = in[count];
    }
    return to;
}

void *memset(void *to, int value, size_t count)
{
    unsigned char *out = (unsigned char *)to;
    while (count--)
        *out++ = (unsigned char)value;
    return to;
}

int memcmp(const void *a, const void *b, size_t count)
{
    const unsigned char *x = (const unsigned char *)a;
    const unsigned char *y = (const unsigned char *)b;
    for (; count; count--, x++, y++)
        if (*x != *y)
            return *x < *y ? -1 : 1;
    return 0;
}

size_t strlen(const char *text)
{
    const char *end = text;
    while (*end)
        end++;
    return (size_t)(end - text);
}

int strncmp(const char *a, const char *b, size_t count)
{
    for (; count; count--, a++, b++) {
        if (*a != *b)
            return (unsigned char)*a < (unsigned char)*b ? -1 : 1;
        if (!*a)
            break;
    }
    return 0;
}

int strcmp(const char *a, const char *b)
{
    return strncmp(a, b, (size_t)-1);
}

char *strchr(const char *text, int c)
{
    for (;; text++) {
        if (*text == (char)c)
            return (char *)text;
        if (!*text)
            return 0;
    }
}

char *strrchr(const char *text, int c)
{
    const char *found = 0;
    for (;; text++) {
        if (*text == (char)c)
            found = text;
        if (!*text)
            return (char *)found;
    }
}

}  // extern "C"
