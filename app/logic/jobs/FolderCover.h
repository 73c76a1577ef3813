// An album's cover kept beside its tracks: the first of cover.*, folder.*, front.* and
// albumart*.* (JPEG or PNG by their extension jpg, jpeg or png, in any case) in a source's
// folder, for an output whose source has no picture of its own.
#pragma once

#include <string>

#include "sources/CoverPictures.h"

// The path of the cover picture in the folder of `sourcePath`, or empty. Among several files of
// one kind (cover.jpg and Cover.png) the first by name wins.
std::string FindFolderCover(const std::string& sourcePath);

// The cover of the folder of `sourcePath` as a front cover; false when there is none or it
// cannot be read (or is neither JPEG nor PNG inside).
bool ReadFolderCover(const std::string& sourcePath, TCoverPicture& picture);
