#include <windows.h>

#include "base/text.h"

int IsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) ? 1 : 0;
}
