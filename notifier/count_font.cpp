#include "notifier/count_font.h"

#include "notifier/face_name.h"

HFONT CreateCountFont(int size, const char* face)
{
    LOGFONTA description = {};
    ::GetObjectA(::GetStockObject(SYSTEM_FONT), sizeof description, &description);
    description.lfHeight = size;
    description.lfWidth = 0;
    description.lfEscapement = 0;
    description.lfOrientation = 0;
    description.lfWeight = FW_BOLD;
    description.lfItalic = 0;
    description.lfCharSet = DEFAULT_CHARSET;
    description.lfOutPrecision = OUT_DEFAULT_PRECIS;
    description.lfQuality = PROOF_QUALITY;
    CopyFaceName(description.lfFaceName, sizeof description.lfFaceName, face);
    return ::CreateFontIndirectA(&description);
}
