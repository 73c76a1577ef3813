// The tags of a source that output names can be made of, read from the file the prober has
// open: the container's tags, and the first audio stream's where the container has none (Ogg
// and Opus files keep their comments on the stream).
#pragma once

#include "OutputNaming.h"

class TFFDecoder;

// The tags of the file `prober` has open; all empty without one.
TSourceTags ReadSourceTags(TFFDecoder& prober);
