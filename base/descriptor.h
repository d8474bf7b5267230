// Self-relative security descriptors and their parts, read within the bytes
// that hold them (no Windows dependency: the layouts are the system's
// documented ones).
#ifndef TARV_DESCRIPTOR_H
#define TARV_DESCRIPTOR_H

#include <stddef.h>

enum { DESCRIPTOR_HEADER_BYTES = 20, ACL_HEADER_BYTES = 8, ACE_HEADER_BYTES = 4, ACE_ALLOWED = 0, ACE_DENIED = 1,
       SID_MAX_BYTES = 68 };

struct DescriptorParts {
    const unsigned char *owner;  // its SID, or null
    size_t ownerBytes;
    const unsigned char *dacl;   // the ACL, or null: none, or not present (everyone may do everything)
    size_t length;               // of the descriptor: the end of its last part
};

// One entry of an ACL: the ACCESS_ALLOWED_ACE layout (type, flags, size,
// mask, then the SID).
struct AceView {
    unsigned type, flags;
    unsigned long mask;
    const unsigned char *sid;
    size_t sidBytes;
};

// Bytes of the SID at sid, 0 when it is no SID or does not fit in room.
size_t SidBytes(const unsigned char *sid, size_t room);

// 1 when the self-relative descriptor at sd and every part it names (owner,
// group, SACL, DACL) lie within room bytes; parts says where.
int ReadDescriptor(const unsigned char *sd, size_t room, DescriptorParts *parts);

// The entry of acl at *at (0 for the first), then *at moves past it; 0 after
// the last or when an entry leaves the ACL. An entry of another type than
// ACCESS_ALLOWED_ACE_TYPE has no mask or SID in ace.
int NextAce(const unsigned char *acl, size_t *at, unsigned *index, AceView *ace);

// How many entries the ACL says it holds.
unsigned AceCount(const unsigned char *acl);

#endif
