// Keeping a source's cover art in its output: how each output type holds an attached
// picture, and the job options that carry it there.
#pragma once

#include <string>

#include "input/Input.h"
#include "output/Output.h"

class TFFDecoder;

enum class TCoverArtWay {
    Drop,           // the container holds no picture (WAV, ADTS AAC, MP2, WMA)
    CopyStream,     // the picture stream is copied as it is (MP3, FLAC, M4A)
    PictureComment, // the picture goes into the METADATA_BLOCK_PICTURE comment (Ogg)
};

// How an output of the extension ("." included, any case) keeps a picture.
TCoverArtWay CoverArtWayOf(const std::string& extension);

// Adds to a job whose options were just built for the source `prober` has open what keeps
// the source's attached pictures in the output of `output.Extension`: every JPEG or PNG
// picture (the picture types all three muxers take) as a copied stream, the streams named by
// maps so that a film's own pictures never reach an audio file; or the picture comments.
// Nothing changes for a source without a picture or an output that cannot hold one.
void KeepCoverArt(TFFDecoder& prober, TInputOptions& input, TOutputOptions& output);
