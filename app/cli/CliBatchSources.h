// The sources of one task of a batch: the files and folders of the command line and the
// entries of its job lists, each taken once, of which the task keeps its shard.
#pragma once

#include <string>
#include <vector>

#include "CliJobListOptions.h"
#include "CliSearch.h"

// The sources of `paths` (CollectSources, with `outputFolder` and `outputExtension`) and then of
// each list of `lists.FilesFrom`, in order, that fall in `lists.Shard`; a path or entry that gave
// nothing is a problem of the shard it falls in. False with the reason in `error` when a list
// cannot be read.
bool CollectBatchSources(const std::vector<std::string>& paths, const TJobListOptions& lists,
                         const std::string& outputFolder, const std::string& outputExtension,
                         std::vector<TCliSource>& sources, std::vector<TSourceProblem>& problems,
                         std::string& error);

// Mirrors the sources' folders relative to `base` (the library's root) instead of the folder
// argument each was found in. A source outside `base` becomes a problem.
void RebaseSources(std::vector<TCliSource>& sources, const std::string& base,
                   std::vector<TSourceProblem>& problems);
