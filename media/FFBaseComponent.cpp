#include "FFBaseComponent.h"

// The build passes the project version; the fallback keeps a build without it working.
#ifndef AUDIOCONV_VERSION
#define AUDIOCONV_VERSION "0.1.0"
#endif

std::string TFFBaseComponent::ComponentsVersion() {
    return AUDIOCONV_VERSION;
}

std::string TFFBaseComponent::About() const {
    return "audioconv media components " + ComponentsVersion();
}
