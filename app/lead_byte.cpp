#include <windows.h>

#include "app/text.h"

int IsLeadByte(unsigned char c)
{
    return IsDBCSLeadByte(c) ? 1 : 0;
}
