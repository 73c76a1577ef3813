// Base of every component (the logger, the prober, the encoder): the published About text.
#pragma once

#include <string>

class TFFBaseComponent {
public:
    virtual ~TFFBaseComponent() = default;
    // "audioconv media components" and their version.
    std::string About() const;
    void SetAbout(const std::string&) {} // read-only: setting it changes nothing
    // The version of the media components (the project version).
    static std::string ComponentsVersion();
};
