#include "FFBaseComponent.h"

std::string TFFBaseComponent::About() const { return "audioconv media components"; }
