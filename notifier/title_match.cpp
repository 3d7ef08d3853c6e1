#include "notifier/title_match.h"

#include <string.h>

#include "notifier/cp932.h"

bool TitleContains(const char* title, const char* text)
{
    const size_t length = strlen(text);
    if (length == 0)
        return false;
    for (const char* p = title; *p != '\0';) {
        if (strncmp(p, text, length) == 0)
            return true;
        p += IsCp932LeadByte(static_cast<unsigned char>(*p)) && p[1] != '\0' ? 2 : 1;
    }
    return false;
}
