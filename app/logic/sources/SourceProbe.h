// Reading the facts the source list shows from the prober.
#pragma once

#include "FileFacts.h"

class TFFDecoder;

// The facts of the file `prober` has open: the file facts, the first video stream's and the
// first audio stream's facts, and the file size. A stream the file does not have leaves its
// facts unknown.
TSourceFacts ReadSourceFacts(TFFDecoder& prober);
