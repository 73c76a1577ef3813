// Sources beside each other that would take one output name ("a.wav" and "a.flac", both to
// "a.mp3") are told apart by their folder alone: the first of them in name order keeps the
// plain name, each other one gets its own extension in it ("a (wav).mp3"). The rule reads
// nothing but the source's folder, so every task of a batch split into shares, and every
// re-run, gives a source the same name without knowing the rest of the batch.
#pragma once

#include <string>

// " (wav)" for a source that shares its name without extension with a playable file before
// it in its folder, else "". The folder's listing is kept for the next call on the same
// folder (sources come folder by folder). Main thread.
std::string SiblingNameTag(const std::string& sourcePath);
