// The arithmetic of the splash picture: its fade-in steps and the premultiplication of its
// colours by their alpha.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The constant alpha after `alpha` (0 to 254): alpha + (255 - alpha) div 32 + 1, so the
// fade takes large steps first and steps of one from 225 on.
int NextSplashAlpha(int alpha);

// Every constant alpha of a fade-in from 0, in order, ending with 255.
std::vector<int> SplashAlphaSteps();

// x * y div 255 for bytes, looked up in a 256 x 256 table.
uint8_t MulDiv255(uint8_t x, uint8_t y);

// Multiplies the three colour channels of each pixel (0xAARRGGBB) by its alpha, x * a div
// 255; alpha itself stays.
void PremultiplyPixels(uint32_t* pixels, size_t count);
