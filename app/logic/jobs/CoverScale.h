// Scaling a cover picture down for players that show only small ones: decoded by the media
// libraries (JPEG or PNG), scaled to fit a square of the given size with its proportions kept,
// and coded again as JPEG of quality 90.
#pragma once

#include <string>

#include "sources/CoverPictures.h"

// Scales `picture` when its width or height exceeds `maxPixels` (`scaled` then true; the
// type and description stay, the MIME type becomes image/jpeg). Empty when done or when
// nothing was to be done, else the reason (the picture then stays as it was).
std::string ScaleCoverPicture(TCoverPicture& picture, int maxPixels, bool& scaled);

// The width and height of a picture of `width` x `height` fitted into `maxPixels` square.
void FitPictureSize(int width, int height, int maxPixels, int& fitWidth, int& fitHeight);
