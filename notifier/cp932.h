// Code page 932 (Shift-JIS) character boundaries.
#pragma once

// True for a byte that starts a double-byte character.
inline bool IsCp932LeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}
