#include "SecondaryWindows.h"

TSecondaryWindows& SecondaryWindows() {
    static TSecondaryWindows windows;
    return windows;
}
