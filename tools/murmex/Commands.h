// The verbs of murmex. Each returns the exit status: 0 success, 1 a job or
// the card reported an error, 2 a usage error.
#pragma once

#include "CliOptions.h"

namespace murmex::cli {

int RunInfo(const Options& options);
int RunList(const Options& options);
int RunGet(const Options& options);
int RunPut(const Options& options);
int RunRemove(const Options& options);
int RunFormat(const Options& options);
int RunConvertFormat(const Options& options);
int RunConvert(const Options& options);

}  // namespace murmex::cli
