#include "notifier/face_name.h"

#include "notifier/cp932.h"

void CopyFaceName(char* field, size_t fieldSize, const char* face)
{
    if (fieldSize == 0)
        return;
    size_t used = 0;
    while (face[used] != '\0') {
        const bool twoBytes = IsCp932LeadByte(static_cast<unsigned char>(face[used])) && face[used + 1] != '\0';
        const size_t length = twoBytes ? 2 : 1;
        if (used + length > fieldSize - 1)
            break;
        used += length;
    }
    for (size_t i = 0; i < used; ++i)
        field[i] = face[i];
    field[used] = '\0';
}
