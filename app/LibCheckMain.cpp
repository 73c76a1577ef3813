// Loads the media libraries from the folder "lib" beside this program and prints what it
// found: a quick check of an installation.
#include <cstdio>

#include "FFLoad.h"
#include "MyUtils.h"
#include "binding/AVCodecStubs.h"
#include "binding/AVFormatStubs.h"
#include "binding/AVUtilStubs.h"

int main() {
    FFLoader->SetLibraryPath(ExecutableFolder() + "lib");
    if (!FFLoader->Load(EncoderLibraries)) {
        std::fprintf(stderr, "%s\n", FFLoader->LastErrMsg().c_str());
        return 1;
    }
    for (int i = 0; i < LibraryCount; ++i) {
        const auto lib = static_cast<TAVLibrary>(i);
        std::printf("%-12s %s\n", LibraryItem(lib).Name,
                    FFLoader->Loaded(lib) ? FFLoader->LibraryFileName(lib).c_str()
                                          : "(not loaded)");
    }
    const unsigned v = ff::avcodec_version();
    std::printf("avcodec version %u.%u.%u\n", v >> 16, (v >> 8) & 0xff, v & 0xff);
    return 0;
}
