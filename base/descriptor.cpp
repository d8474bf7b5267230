#include "base/descriptor.h"

enum { SE_DACL_PRESENT_BIT = 0x0004, SE_SELF_RELATIVE_BIT = 0x8000, SID_MAX_SUB_AUTHORITIES = 15 };

static unsigned long Word(const unsigned char *at, int bytes)
{
    unsigned long value = 0;
    while (bytes--)
        value = (value << 8) | at[bytes];
    return value;
}

size_t SidBytes(const unsigned char *sid, size_t room)
{
    if (room < 8 || sid[0] != 1 || sid[1] > SID_MAX_SUB_AUTHORITIES)
        return 0;
    size_t bytes = 8 + 4 * (size_t)sid[1];
    return bytes <= room ? bytes : 0;
}

// The ACL at acl: its size when its header fits in room and it does.
static size_t AclBytes(const unsigned char *acl, size_t room)
{
    if (room < ACL_HEADER_BYTES)
        return 0;
    size_t bytes = Word(acl + 2, 2);
    return bytes >= ACL_HEADER_BYTES && bytes <= room ? bytes : 0;
}

int ReadDescriptor(const unsigned char *sd, size_t room, DescriptorParts *parts)
{
    parts->owner = parts->dacl = 0;
    parts->ownerBytes = 0;
    parts->length = DESCRIPTOR_HEADER_BYTES;
    if (room < DESCRIPTOR_HEADER_BYTES || sd[0] != 1 || !(Word(sd + 2, 2) & SE_SELF_RELATIVE_BIT))
        return 0;
    // Owner, group, SACL, DACL: each an offset from the start, 0 for none.
    for (int part = 0; part < 4; part++) {
        size_t offset = Word(sd + 4 + 4 * part, 4);
        if (offset == 0)
            continue;
        if (offset < DESCRIPTOR_HEADER_BYTES || offset >= room)
            return 0;
        size_t bytes = part < 2 ? SidBytes(sd + offset, room - offset) : AclBytes(sd + offset, room - offset);
        if (bytes == 0)
            return 0;
        if (offset + bytes > parts->length)
            parts->length = offset + bytes;
        if (part == 0) {
            parts->owner = sd + offset;
            parts->ownerBytes = bytes;
        } else if (part == 3 && (Word(sd + 2, 2) & SE_DACL_PRESENT_BIT)) {
            parts->dacl = sd + offset;
        }
    }
    return 1;
}

unsigned AceCount(const unsigned char *acl)
{
    return (unsigned)Word(acl + 4, 2);
}

int NextAce(const unsigned char *acl, size_t *at, unsigned *index, AceView *ace)
{
    size_t size = Word(acl + 2, 2);
    if (*at == 0) {
        *at = ACL_HEADER_BYTES;
        *index = 0;
    }
    if (*index >= Word(acl + 4, 2) || *at + ACE_HEADER_BYTES > size)
        return 0;
    const unsigned char *entry = acl + *at;
    size_t bytes = Word(entry + 2, 2);
    if (bytes < ACE_HEADER_BYTES || *at + bytes > size)
        return 0;
    ace->type = entry[0];
    ace->flags = entry[1];
    ace->mask = 0;
    ace->sid = 0;
    ace->sidBytes = 0;
    if (ace->type == ACE_ALLOWED && bytes >= ACE_HEADER_BYTES + 4) {
        ace->mask = Word(entry + ACE_HEADER_BYTES, 4);
        ace->sid = entry + ACE_HEADER_BYTES + 4;
        ace->sidBytes = SidBytes(ace->sid, bytes - ACE_HEADER_BYTES - 4);
        if (!ace->sidBytes)
            return 0;
    }
    *at += bytes;
    ++*index;
    return 1;
}
