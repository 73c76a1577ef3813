// Reading skin files and dressing the application in a skin.
#pragma once

#include <QPalette>
#include <string>

#include "brand/SkinStyle.h"

// Reads the skin file `fileName` by its extension in lower case: ".ini" is the skin's INI
// text, ".skn" the same text compressed with zlib in Qt's qCompress layout (the text's
// length as four big-endian bytes, then the zlib stream). Any other extension, a file that
// cannot be read or that does not decompress loads nothing and returns false.
bool LoadSkinFile(const std::string& fileName, TSkin& skin);

// The palette of a skin, for the parts a style sheet does not reach.
QPalette SkinPalette(const TSkin& skin);

// The style sheet's rule that draws disabled menu entries as disabled.
class QString;
QString MenuDisabledRule(const TSkin& skin);

// Dresses the whole application: palette, font and style sheet.
void ApplySkin(const TSkin& skin);
